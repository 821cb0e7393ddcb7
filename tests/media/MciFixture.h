#pragma once

#include "audio/SoundOutput.h"
#include "media/Mci.h"

#include "tests/support/RecordingWindow.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Media device tests on the manual-clock output: every device opened is closed afterwards,
// and notifications go to a recording window on the test's thread.
class MciTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(SelectAudioOutput(AudioOutputKind::ManualClock)); }
    void TearDown() override { mciSendCommand(MCI_ALL_DEVICE_ID, MCI_CLOSE, 0, nullptr); }

    // Opens element on a device of type; 0 on failure, with the error in *error.
    static MCIDEVICEID Open(UINT type, const std::string& element, MCIERROR* error = nullptr,
                            DWORD extraFlags = 0)
    {
        MCI_OPEN_PARMS open;
        open.lpstrDeviceType = MciDeviceType(type);
        open.lpstrElementName = element.c_str();
        DWORD flags = MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_WAIT | extraFlags;
        if (!element.empty())
            flags |= MCI_OPEN_ELEMENT;
        const MCIERROR e = mciSendCommand(0, MCI_OPEN, flags, &open);
        if (error != nullptr)
            *error = e;
        return e == 0 ? open.wDeviceID : 0;
    }

    static DWORD Status(MCIDEVICEID id, DWORD item, DWORD flags = 0, DWORD track = 0)
    {
        MCI_STATUS_PARMS status;
        status.dwItem = item;
        status.dwTrack = track;
        status.dwReturn = 0xDEADBEEF;
        const MCIERROR e = mciSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM | flags, &status);
        EXPECT_EQ(e, 0u) << "status item " << item;
        return static_cast<DWORD>(status.dwReturn);
    }

    static MCIERROR SetTimeFormat(MCIDEVICEID id, DWORD format)
    {
        MCI_SET_PARMS set;
        set.dwTimeFormat = format;
        return mciSendCommand(id, MCI_SET, MCI_SET_TIME_FORMAT, &set);
    }

    MCIERROR Play(MCIDEVICEID id, DWORD flags = MCI_NOTIFY, DWORD from = 0, DWORD to = 0,
                  HWND callback = 0)
    {
        MCI_PLAY_PARMS play;
        play.dwCallback = callback != 0 ? callback : window.Handle();
        play.dwFrom = from;
        play.dwTo = to;
        return mciSendCommand(id, MCI_PLAY, flags, &play);
    }

    static MCIERROR Seek(MCIDEVICEID id, DWORD to)
    {
        MCI_SEEK_PARMS seek;
        seek.dwTo = to;
        return mciSendCommand(id, MCI_SEEK, MCI_TO | MCI_WAIT, &seek);
    }

    static MCIERROR Stop(MCIDEVICEID id)
    {
        MCI_GENERIC_PARMS generic;
        return mciSendCommand(id, MCI_STOP, MCI_WAIT, &generic);
    }

    // Advances the clock by ms and delivers the notifications it caused.
    void Advance(unsigned ms, std::vector<float>* captured = nullptr)
    {
        AdvanceManualAudioClock(ms, captured);
        window.Pump();
    }

    std::size_t Notified(WPARAM code) const { return window.Count(MM_MCINOTIFY, code); }

    CTempDir dir;
    CRecordingWindow window;
};
