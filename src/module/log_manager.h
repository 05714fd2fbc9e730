// The client's log sink. It is kept for the client but the plug-in writes
// its own traces to the debugger output only.
#ifndef VD_MODULE_LOG_MANAGER_H
#define VD_MODULE_LOG_MANAGER_H

#include <Orvane/ILogManager.h>

namespace vd {

class CLogManager final : public Orvane::ILogManager {
public:
    int SetLog(Orvane::ILog* log) override;

    // The process-wide sink pointer; a sink that discards everything until
    // the client installs its own. The pointer owns nothing.
    static Orvane::ILog*& Log();
};

}  // namespace vd

#endif
