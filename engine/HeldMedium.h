#pragma once

#include "audio/SoundOutput.h"
#include "engine/Medium.h"
#include "media/CueSheet.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// A medium the engine holds, open or prepared: which one it is (its serial, never used again
// in the process), what it plays and at which gain, and the open medium object. A value that
// holds no object (pMedium null) holds nothing. User-interface thread only.
struct HeldMedium
{
    std::uint32_t nSerial = 0;
    DeviceKind kind = DEVICE_NONE;
    std::string strEntry;          // the queue's entry: a file, or a sheet's track
    std::optional<CueTrack> track; // the sheet's track it plays, if any
    AudioStreamTicket ticket;      // its stream's terms (leader, gain), and the stream
    std::unique_ptr<IMedium> pMedium;

    float Gain() const { return ticket != nullptr ? ticket->Gain() : 1.0f; }
};
