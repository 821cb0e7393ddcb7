#pragma once

#include "engine/Medium.h"
#include "framework/Messages.h"

#include <memory>

// A medium on a media device through mciSendCommand: the CD audio device (with its position
// monitor), the sequencer for a MIDI file, the waveform-audio device for a WAV file. Threads
// as IMedium.
//
// The device posts its notices with its device id, as MCI does, to a relay window of this
// medium (the user-interface thread), which passes them on to the request's window with the
// medium's serial instead. The relay goes with the medium, and with it whatever its device
// posted and was not yet relayed, so a device id used again later never names this medium.
class CDeviceMedium final : public IMedium
{
public:
    // Opens the request's file, or the CD, as a device whose stream opens with the request's
    // ticket. Null, with nError the device's error, when it does not open.
    static std::unique_ptr<CDeviceMedium> Open(const MediumRequest& request, int& nError);
    // Stops the monitor (at most its stop timeout), then closes the device.
    ~CDeviceMedium() override;
    CDeviceMedium(const CDeviceMedium&) = delete;
    CDeviceMedium& operator=(const CDeviceMedium&) = delete;

    int Play(int nTrack) override;
    int PlayFrom(std::int64_t nMilliseconds) override;
    void Stop() override;
    void SeekPercent(int nPercent) override;
    void SeekMilliseconds(std::int64_t nMilliseconds) override;
    void GetPosition(PlayPosition& pos) override;
    int GetLengthSeconds(int nTrack) override;
    std::int64_t GetLengthMilliseconds(int nTrack) override;
    int GetMode() override;
    int GetTrackCount() const override { return m_nTrackCount; }
    bool OpenDiscDoor() override;
    bool PlaysOn() override { return false; }

    // Opens the CD drive's door through a separate, unshared CD device, whatever is open.
    // false when no CD device opens.
    static bool OpenDoorOfDrive();

private:
    CDeviceMedium(const MediumRequest& request, UINT nDeviceId);
    void StartMonitor(CPositionMonitor::TrackReader readTrack);
    // The relay's handler: a notice of this medium's device goes on with its serial.
    void Relay(UINT message, WPARAM wParam, LPARAM lParam);

    const DeviceKind m_nKind;
    const UINT m_nDeviceId;
    const std::uint32_t m_nSerial;
    int m_nTrackCount = 0;
    std::shared_ptr<TrackWatch> m_pWatch;
    std::chrono::milliseconds m_monitorStopTimeout;
    std::unique_ptr<CPositionMonitor> m_pMonitor; // while a CD is open
    CMessageWindow m_relay;
};
