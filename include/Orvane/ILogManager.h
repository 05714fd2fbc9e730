// The client's log sink and the manager through which it is installed.
#ifndef ORVANE_ILOGMANAGER_H
#define ORVANE_ILOGMANAGER_H

namespace Orvane {

class ILog {
public:
    virtual void Write(const char* format, ...) = 0;  // 0
};

class ILogManager {
public:
    virtual int SetLog(ILog* log) = 0;  // 0 (the sink may be null)
};

}  // namespace Orvane

#endif
