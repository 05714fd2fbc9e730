// The one engine of the process. The module creates it at process attach and
// destroys it at process detach; the decoder operations reach it here.
#ifndef VD_ENGINE_ENGINE_INSTANCE_H
#define VD_ENGINE_ENGINE_INSTANCE_H

namespace vd {

class PlayEngine;

PlayEngine* TheEngine();
void SetTheEngine(PlayEngine* engine);

}  // namespace vd

#endif
