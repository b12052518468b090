#include "discovery/setupapi_win.h"

#include "discovery/registrydata.h"

// clang-format off
#include <windows.h>
#include <initguid.h>
#include <usbiodef.h>
#include <setupapi.h>
// clang-format on

static_assert(REG_NONE == RegistryData::None && REG_SZ == RegistryData::Sz &&
                  REG_EXPAND_SZ == RegistryData::ExpandSz && REG_BINARY == RegistryData::Binary &&
                  REG_DWORD == RegistryData::Dword &&
                  REG_DWORD_BIG_ENDIAN == RegistryData::DwordBigEndian &&
                  REG_MULTI_SZ == RegistryData::MultiSz,
              "registry data type codes");

namespace {

std::wstring toWide(const std::u16string &text)
{
    return std::wstring(text.begin(), text.end());
}

// First call learns the data type and size, second reads; only the second call's success counts.
RegistryData::Value deviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA *record, DWORD code)
{
    DWORD dataType = 0;
    DWORD requiredSize = 0;
    SetupDiGetDeviceRegistryPropertyW(set, record, code, &dataType, nullptr, 0, &requiredSize);
    std::vector<BYTE> buffer(requiredSize);
    if (!SetupDiGetDeviceRegistryPropertyW(set, record, code, &dataType,
                                           buffer.empty() ? nullptr : buffer.data(), requiredSize,
                                           nullptr))
        return RegistryData::Value();
    return RegistryData::convert(dataType, buffer.data(), buffer.size());
}

} // namespace

std::vector<SetupApiUsbDevice> listPresentUsbDevices()
{
    std::vector<SetupApiUsbDevice> devices;
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USB_DEVICE, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return devices;

    SP_DEVINFO_DATA record;
    for (DWORD index = 0;; ++index) {
        ZeroMemory(&record, sizeof(record));
        // 28 bytes in a 32-bit build; a 64-bit build needs its own, larger record size.
        record.cbSize = sizeof(SP_DEVINFO_DATA);
        if (!SetupDiEnumDeviceInfo(set, index, &record))
            break;

        SetupApiUsbDevice device;
        for (const std::u16string &id :
             RegistryData::toTextList(deviceRegistryProperty(set, &record, SPDRP_HARDWAREID)))
            device.hardwareIds.push_back(toWide(id));
        device.friendlyName =
            toWide(RegistryData::toText(deviceRegistryProperty(set, &record, SPDRP_FRIENDLYNAME)));
        device.location = toWide(
            RegistryData::toText(deviceRegistryProperty(set, &record, SPDRP_LOCATION_INFORMATION)));
        devices.push_back(std::move(device));
    }
    SetupDiDestroyDeviceInfoList(set);
    return devices;
}
