#pragma once

#include <windows.h>

#include <functional>
#include <memory>

namespace korvane::ports {

// Whether the device behind an open handle has left. Some USB serial drivers answer every read
// of an unplugged adapter with 0 bytes instead of an error, so the wait asks this too.
class DeviceRemoval {
  public:
    virtual ~DeviceRemoval() = default;
    virtual bool removed() const = 0;
};

// Starts listening on an open handle; the adapter takes another one in tests.
using RemovalWatch = std::function<std::unique_ptr<DeviceRemoval>(HANDLE)>;

// The system's notice of the removal: CM_Register_Notification with a handle filter where the
// system has it (Windows 8 and later, looked up at run time), else RegisterDeviceNotification
// on a message-only window of its own thread. Never "removed" when neither will listen.
std::unique_ptr<DeviceRemoval> watchDeviceRemoval(HANDLE handle);

}  // namespace korvane::ports
