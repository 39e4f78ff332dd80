#include "app/win32/accessible_name.h"

#include "app/win32/win_text.h"

#include <initguid.h> // the service's identifiers, defined here
#include <oleacc.h>
#include <string>

namespace zev1::win32 {

bool set_accessible_name(HWND control, std::string_view name) {
    // The names are kept with the window, not with the service object, so COM is only
    // needed for the call; a thread that already runs COM keeps its own apartment.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IAccPropServices* service = nullptr;
    bool done = false;
    if (SUCCEEDED(::CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IAccPropServices, reinterpret_cast<void**>(&service)))) {
        const std::wstring text = wide(name);
        done = SUCCEEDED(service->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT),
                                                 CHILDID_SELF, PROPID_ACC_NAME, text.c_str()));
        service->Release();
    }
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
    return done;
}

} // namespace zev1::win32
