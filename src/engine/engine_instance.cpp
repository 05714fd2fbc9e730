#include "engine/engine_instance.h"

namespace vd {

namespace {
PlayEngine* processEngine = nullptr;
}

PlayEngine* TheEngine() { return processEngine; }
void SetTheEngine(PlayEngine* engine) { processEngine = engine; }

}  // namespace vd
