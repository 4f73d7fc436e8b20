// A connection to the service control manager, and the services it creates and opens.
// Failure contract: every operation writes its SResult to `result` and returns it; on failure an
// output service stays empty, lists are left empty and texts unchanged. Without a connection
// every operation but Init gives kResultServiceNotOpen.
// Thread-safety: one thread at a time per object.
#pragma once

#include "library/system/service/SService.h"
#include "library/system/service/SServiceBase.h"
#include "library/system/service/ServiceTypes.h"
#include "library/utility/SBuffer.h"
#include "library/utility/collection/SList.h"

#include <windows.h>

#include <memory>

// The system's A/W selectors would rename the operations below.
#undef CreateService
#undef OpenService
#undef GetServiceDisplayName
#undef GetServiceKeyName

namespace S
{

class SServiceManager : public SServiceBase
{
public:
    SServiceManager() noexcept = default;

    // Closes an open connection, then connects with the mapped ServiceManagerAccess code.
    virtual SResult Init(SResult& result, int32_t access, const wchar_t* machine, const wchar_t* database);
    // Registers a service from `config` (its display name defaults to the name) and opens it
    // with the mapped ServiceAccess code.
    virtual SResult CreateService(SResult& result, std::unique_ptr<SService>* out, const SString& name,
                                  const SServiceConfig& config, int32_t access, const wchar_t* password);
    // A null `out` gives kResultServiceInvalidArgument.
    virtual SResult OpenService(SResult& result, std::unique_ptr<SService>* out, const SString& name,
                                int32_t access);
    // Every service of the given SERVICE_* types and states, growing the buffer as told.
    virtual SResult EnumAllServices(SResult& result, DWORD serviceType, DWORD states,
                                    SListT<SServiceEntry>& out);
    // One enumeration into `buffer` (ENUM_SERVICE_STATUS_PROCESSW records): kResultServiceBufferTooSmall with
    // `needed` bytes when it is too small.
    virtual SResult EnumServices(SResult& result, DWORD serviceType, DWORD states,
                                 SBufferT<unsigned char>& buffer, DWORD& needed, DWORD& count);
    virtual SResult GetServiceDisplayName(SResult& result, const SString& name, SString& displayName);
    virtual SResult GetServiceKeyName(SResult& result, const SString& displayName, SString& name);
};

} // namespace S
