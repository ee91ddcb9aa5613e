// The business application's state for the logged-in user, read by the library
// at the moment a routine needs it: the current workstation id and user id, the
// title text msgTxt, and the numbering mode bookType. A host sets the fields
// (or derives from AppContext to compute them); tests set fixed values.
#pragma once

#include <QString>

#include <cstdint>

namespace ctx {

class AppContext {
public:
    virtual ~AppContext() = default;
    virtual int32_t workstationId() const { return workstationId_; }
    virtual int32_t userId() const { return userId_; }
    virtual QString msgTxt() const { return msgTxt_; }
    virtual int32_t bookType() const { return bookType_; }

    void setWorkstationId(int32_t v) { workstationId_ = v; }
    void setUserId(int32_t v) { userId_ = v; }
    void setMsgTxt(const QString& v) { msgTxt_ = v; }
    void setBookType(int32_t v) { bookType_ = v; }

private:
    int32_t workstationId_ = 0;
    int32_t userId_ = 0;
    QString msgTxt_;
    int32_t bookType_ = 0;
};

}  // namespace ctx
