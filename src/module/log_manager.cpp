#include "module/log_manager.h"

namespace vd {

Orvane::ILog*& CLogManager::Log() {
    class CLog : public Orvane::ILog {
    public:
        void Write(const char*, ...) override {}
    };
    static CLog discard;
    static Orvane::ILog* sink = &discard;
    return sink;
}

int CLogManager::SetLog(Orvane::ILog* log) {
    Log() = log;
    return 0;
}

}  // namespace vd
