// qxZqCompDataSetInt: what the source files of the dataset unit share and
// nobody else needs: the error raising of the dataset's own codes and the
// wait indication around one operation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dataaccess/stan/qxZqStanAsync.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanFactory.h"
#include "dataaccess/stan/qxZqStanIntf.h"
#include "platform/rtl/Variant.h"

namespace compds {

// Stores AValue into AField; answers whether that changed it (property
// setters rebuild what depends on a changed value only).
template <class T> bool StoreChanged(T &AField, const T &AValue)
{
    if (AField == AValue)
        return false;
    AField = AValue;
    return true;
}

// Raises the dataset error ACode (component words "Comp", "DS").
[[noreturn]] void RaiseDS(int32_t ACode, const std::vector<rtl::Variant> &AArgs = {});

// The wait indication around one operation; nothing when no wait cursor is
// registered or the dataset is silent.
class TWaitScope {
public:
    explicit TWaitScope(bool ASilent);
    ~TWaitScope();
    TWaitScope(const TWaitScope &) = delete;
    TWaitScope &operator=(const TWaitScope &) = delete;

private:
    TZqIntfPtr<IZqGUIxWaitCursor> FCursor;
};

} // namespace compds
