#pragma once

#include "media/Mci.h"

#include <string>

// What the fuzz targets of the media devices share: opening a file on a device type, and
// status queries whose answer is 0 when the device gives none.

// Opens path on a device of deviceType (MCI_DEVTYPE_...); its id, or 0 when it does not open.
inline MCIDEVICEID OpenFuzzElement(UINT deviceType, const std::string& path)
{
    MCI_OPEN_PARMS open;
    open.lpstrDeviceType = MciDeviceType(deviceType);
    open.lpstrElementName = path.c_str();
    if (mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT | MCI_WAIT,
                       &open) != 0)
        return 0;
    return open.wDeviceID;
}

// The answer to status item of device id, of track when it is not 0.
inline DWORD_PTR Status(MCIDEVICEID id, DWORD item, DWORD track = 0)
{
    MCI_STATUS_PARMS status;
    status.dwItem = item;
    status.dwTrack = track;
    mciSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM | (track != 0 ? MCI_TRACK : 0), &status);
    return status.dwReturn;
}
