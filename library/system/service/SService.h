// One open service of the control manager: configuration, status, controls, start and delete.
// Created by SServiceManager (OpenService, CreateService) and owned by the caller.
// Failure contract: every fallible operation writes its SResult to `result` and returns it; a
// status output holds the translated status after success and after the control errors 1052,
// 1061 and 1062, and type 0xFFFFFFFF with zeros after other control failures; other outputs are
// left empty or unchanged on failure. Without a handle every operation gives kResultServiceNotOpen.
// Thread-safety: one thread at a time per object.
#pragma once

#include "library/system/service/SServiceBase.h"
#include "library/system/service/ServiceTypes.h"
#include "library/utility/SBuffer.h"
#include "library/utility/collection/SList.h"

#include <windows.h>

namespace S
{

class SService : public SServiceBase
{
public:
    // Takes ownership of `handle`.
    SService(const SString& name, SC_HANDLE handle);

    virtual SResult ChangeConfig(SResult& result, const SServiceConfig& config, const wchar_t* password);
    // The whole configuration, growing the buffer as told.
    virtual SResult ReadConfig(SResult& result, SServiceConfig& out);
    // One configuration read into `buffer` (a QUERY_SERVICE_CONFIGW): kResultServiceBufferTooSmall with
    // `needed` bytes when it is too small.
    virtual SResult QueryConfig(SResult& result, SBufferT<unsigned char>& buffer, DWORD& needed);
    virtual SResult QueryStatus(SResult& result, SServiceStatus& status);
    // The dependents in the given SERVICE_ACTIVE/SERVICE_INACTIVE states.
    virtual SResult EnumDependents(SResult& result, DWORD states, SListT<SServiceEntry>& out);
    // A ServiceControlCode; an unknown code is sent as control 0.
    virtual SResult Control(SResult& result, int32_t control, SServiceStatus& status);
    virtual SResult Start(SResult& result, DWORD argc, const wchar_t** argv);
    virtual SResult Pause(SResult& result, SServiceStatus& status);
    virtual SResult Continue(SResult& result, SServiceStatus& status);
    virtual SResult Shutdown(SResult& result, SServiceStatus& status);
    // Stops the service; with a list, first stops (and lists) the running dependents that keep
    // it from stopping. Waits a second and asks again for as long as the control manager
    // cannot accept the stop yet and the service is neither running nor paused.
    virtual SResult StopWithDependents(SResult& result, SServiceStatus& status,
                                       SListT<SServiceEntry>* stopped);
    virtual SResult Delete(SResult& result);
    // -1 when the status cannot be read, else 1 when the state is not stopped, 0 otherwise.
    virtual int32_t IsNotStopped();
    // -1 when the status cannot be read, else 1 when running, 0 otherwise; `processId` (optional)
    // is set to 0xFFFFFFFF first and to the service's process id once the status is read.
    virtual int32_t IsRunning(DWORD* processId);
    virtual SResult GetDescription(SResult& result, SString& out);
    virtual SResult SetDescription(SResult& result, const SString& description);
    virtual SResult GetFailureActions(SResult& result, SServiceFailureActions& out);
    virtual SResult SetFailureActions(SResult& result, const SServiceFailureActions& actions);
    virtual SResult Interrogate(SResult& result, SServiceStatus& status);
    virtual SResult NetBindAdd(SResult& result, SServiceStatus& status);
    virtual SResult NetBindDisable(SResult& result, SServiceStatus& status);
    virtual SResult NetBindEnable(SResult& result, SServiceStatus& status);
    virtual SResult NetBindRemove(SResult& result, SServiceStatus& status);
    virtual SResult ParamChange(SResult& result, SServiceStatus& status);
    virtual SResult DeviceEvent(SResult& result, SServiceStatus& status);
    virtual SResult PowerEvent(SResult& result, SServiceStatus& status);
    virtual SResult HardwareProfileChange(SResult& result, SServiceStatus& status);

private:
    SResult Fail(SResult& result, DWORD error, const wchar_t* function) const noexcept;
    SResult QueryConfig2(SResult& result, DWORD level, SBufferT<unsigned char>& buffer,
                         const wchar_t* function);
    SResult ChangeConfig2(SResult& result, DWORD level, void* info, const wchar_t* function);
};

} // namespace S
