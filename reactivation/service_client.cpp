#include "reactivation/service_client.h"

#include "text/command_line.h"
#include "platform/sized_text.h"
#include "reactivation/service_rules.h"

namespace pelicor {
namespace {

HRESULT CreateService(ComPtr<IReactivationService>& service) {
    return CoCreateInstance(kClsidReactivationService, nullptr, kReactivationServiceContext,
                            kIidReactivationService, service.PutVoid());
}

// The long form of `path` (8.3 names expanded), or empty when the file does not exist.
std::wstring LongPathOf(const std::wstring& path) {
    return ReadSizedText(
        [&](wchar_t* buffer, DWORD capacity) { return GetLongPathNameW(path.c_str(), buffer, capacity); });
}

}  // namespace

bool QueryReactivationService(const std::wstring& targetPath, bool& wrapLaunch, const ServiceClientApi& api) {
    const std::wstring path =
        CollapseDoubledBackslashes(targetPath.c_str(), static_cast<std::int32_t>(targetPath.size()));
    const ComApartment apartment(COINIT_MULTITHREADED);
    // Declared after the apartment, so released before it is left.
    ComPtr<IReactivationService> service;
    if (FAILED(CreateService(service))) {
        return false;
    }
    VARIANT_BOOL firstFlag = VARIANT_FALSE;
    VARIANT_BOOL secondFlag = VARIANT_FALSE;
    UniqueBstr programPath;
    *programPath.Put() = api.allocString(path.c_str());
    if (!programPath || FAILED(service->QueryProgram(programPath.Get(), &firstFlag, &secondFlag))) {
        return false;
    }
    wrapLaunch = WrapLaunchFromFlags(firstFlag, secondFlag);
    return true;
}

void BeginLaunchWrap(const std::wstring& targetPath, LaunchWrap& wrap, const ServiceClientApi& api) {
    const std::wstring fileName = FileNameOf(LongPathOf(targetPath));
    if (FAILED(CreateService(wrap.service))) {
        return;
    }
    // An empty name still goes as an empty string, never as a missing one.
    UniqueBstr name;
    *name.Put() = api.allocString(fileName.c_str());
    if (!name) {
        return;
    }
    (void)wrap.service->PrepareLaunch(name.Get(), wrap.ticket.Put());  // no ticket: nothing to return
}

void EndLaunchWrap(LaunchWrap& wrap) {
    if (wrap.service && wrap.ticket) {
        (void)wrap.service->CompleteLaunch(wrap.ticket.Get());
    }
    wrap.ticket.Reset();
    wrap.service.Reset();
}

}  // namespace pelicor
