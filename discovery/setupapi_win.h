#pragma once

// The Windows device-setup query behind USB enumeration. Free of Qt so that it can be
// compile-checked with a cross compiler on any build machine.

#include <string>
#include <vector>

struct SetupApiUsbDevice
{
    std::vector<std::wstring> hardwareIds;
    std::wstring friendlyName;
    std::wstring location;
};

// Every USB device present now, in the order the system lists them; a property that cannot be
// read is empty. An empty list when the device set cannot be obtained.
std::vector<SetupApiUsbDevice> listPresentUsbDevices();
