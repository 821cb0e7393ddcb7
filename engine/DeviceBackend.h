#pragma once

#include "audio/SoundOutput.h"
#include "engine/PlaybackBackend.h"
#include "engine/PositionMonitor.h"

#include <chrono>
#include <memory>

// The media devices through mciSendCommand: the CD audio device (with its position monitor
// while a CD is open), the sequencer for MIDI files and the waveform-audio device for WAV
// files. Threads as IPlaybackBackend; the monitor shares only the TrackWatch.
class CDeviceBackend final : public IPlaybackBackend
{
public:
    CDeviceBackend();
    // Closes a medium still open.
    ~CDeviceBackend() override;
    CDeviceBackend(const CDeviceBackend&) = delete;
    CDeviceBackend& operator=(const CDeviceBackend&) = delete;

    void SetNotifyWindow(HWND hWnd) override;
    int Open(const std::string& strPath, DeviceKind kind) override;
    void Close() override;
    UINT DeviceId() const override { return m_nDeviceId; }
    // Play with a non-zero nTrack also stores it as the track whose arrival the monitor lets
    // pass unreported, for every device kind.
    int Play(int nTrack) override;
    int Stop() override;
    int SeekPercent(int nPercent) override;
    int SeekMilliseconds(std::int64_t nMilliseconds) override;
    void GetPosition(PlayPosition& pos) override;
    int GetLengthSeconds(int nTrack) override;
    std::int64_t GetLengthMilliseconds(int nTrack) override;
    int GetMode() override;
    int GetTrackCount() const override { return m_nTrackCount; }
    int OpenDiscDoor() override;

    // The track whose arrival is to pass unreported; 0 when none. Kept across media.
    int GetSkipTrack() const { return m_pWatch->nSkipTrack.load(); }
    // Gapless follow-on. Opens the MIDI or WAV file at strPath as a device of its own and
    // starts it held behind leader (CAudioFollowOn), its end notified to the same window,
    // without message boxes. Its device id; 0, with nothing left open, when it does not play.
    UINT OpenFollowing(const std::string& strPath, DeviceKind kind, const AudioStreamRef& leader);
    // Closes a device that OpenFollowing opened and that was not adopted.
    static void CloseFollowing(UINT nDeviceId);
    // Closes the open medium; the device nDeviceId of kind (from OpenFollowing) is the open
    // medium from now on.
    void Adopt(UINT nDeviceId, DeviceKind kind);
    // Opens the CD drive's door through a separate, unshared CD device, whatever is open
    // here. 0 when no CD device opens.
    static int OpenDoorOfDrive();

    // Tests only: CD monitors started from now on read the track through readTrack instead
    // of the device, and Close waits stopTimeout for their acknowledgement.
    void SetMonitorReader(CPositionMonitor::TrackReader readTrack,
                          std::chrono::milliseconds stopTimeout);

private:
    void StartMonitor();

    DeviceKind m_nKind = DEVICE_NONE; // of the open medium
    UINT m_nDeviceId = 0;
    int m_nTrackCount = 0;
    std::shared_ptr<TrackWatch> m_pWatch;
    std::unique_ptr<CPositionMonitor> m_pMonitor; // while a CD is open
    CPositionMonitor::TrackReader m_readTrackForTests;
    std::chrono::milliseconds m_monitorStopTimeout = CPositionMonitor::kMonitorStopTimeoutMs;
};
