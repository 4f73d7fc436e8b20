#include "startup/Handoff.h"

#include "library/system/registry/SRegKey.h"
#include "startup/ProductLocations.h"

namespace S
{

SString HandoffValueName(uint32_t processId, const SString& name)
{
    SString valueName;
    valueName.Format(L"%08x-%s", processId, name.c_str());
    return valueName;
}

BOOL ReadHandoffValue(uint32_t processId, const SString& name, SString& value)
{
    if (processId == 0)
        processId = GetCurrentProcessId();

    SRegKey key;
    key.SetLocation(GetHandoffKeyLocation());
    const SResult opened = key.Open(KEY_READ | KEY_SET_VALUE);
    value.Clear();
    if (opened.Succeeded())
    {
        const SString valueName = HandoffValueName(processId, name);
        if (key.QueryString(valueName.c_str(), value, nullptr).Succeeded())
            RegDeleteValueW(key.GetHandle(), valueName.c_str());
    }
    return value.IsEmpty() ? FALSE : TRUE;
}

} // namespace S
