#pragma once

#include <memory>
#include <string>

#include "maint/BoardDevice.h"

// The controller board through libusb-1.0. Built only where the library is linked (TESSARIN_WITH_LIBUSB);
// elsewhere this gives null with `error` saying so, and the head tool reports that USB is not available.
std::unique_ptr<CBoardDevice> CreateLibusbBoardDevice(std::string& error);
