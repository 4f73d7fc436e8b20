#include "library/system/service/SServiceBase.h"

namespace S
{

SServiceBase::SServiceBase(const SString& name, SC_HANDLE handle) : m_Name(name), m_Handle(handle) {}

const wchar_t* SServiceBase::GetName() const noexcept
{
    return m_Name.c_str();
}

void SServiceBase::SetName(const SString& name)
{
    m_Name = name;
}

SResult SServiceBase::Wait(SResult& result, bool, DWORD) noexcept
{
    result = m_Handle ? kResultCallFailed : kResultNoHandle;
    return result;
}

} // namespace S
