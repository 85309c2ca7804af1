#include "infra/ObjectCheck.h"
#include "infra/Logging.h"

#include <QDebug>

namespace {

constexpr quintptr kLowestPlausibleAddress = 851968;

} // namespace

bool implausibleObject(const void* object)
{
    if (reinterpret_cast<quintptr>(object) >= kLowestPlausibleAddress)
        return false;
    qCWarning(lcInfra).noquote().nospace()
        << "ERROR: this < " << kLowestPlausibleAddress
        << ", which likely means dangling pointer or nullptr access";
    return true;
}
