#pragma once

#include "engine/Medium.h"
#include "engine/PluginLibraries.h"

#include <memory>

// A compressed file on a decoder and an output of its own, made for it by the library that the
// table of MediaFormats names for its extension (and the output library). The output opens its
// stream with the request's ticket; the decoder reports through PluginCallback with the
// medium's serial. Threads as IMedium.
class CPluginMedium final : public IMedium
{
public:
    // The decoder library of strPath's extension (the MPEG audio one for any other).
    static std::string_view DecoderLibraryFor(const std::string& strPath);
    // Makes the objects and opens the request's file. Null, with nError kPluginMissingError
    // when a library or its object is missing, kNothingToTell when the decoder refuses the
    // file.
    static std::unique_ptr<CPluginMedium> Open(const MediumRequest& request,
                                               CPluginLibraries& libraries, int& nError);
    // Ends the decoding without an end notice and releases both objects.
    ~CPluginMedium() override;
    CPluginMedium(const CPluginMedium&) = delete;
    CPluginMedium& operator=(const CPluginMedium&) = delete;

    // nTrack is not used. The decoder's state turns playing at once (its contract).
    int Play(int nTrack) override;
    // As Play, with the seek asked at once after the decoder starts, before its thread writes.
    int PlayFrom(std::int64_t nMilliseconds) override;
    // Pauses the decoder (unless it stands stopped).
    void Stop() override;
    // Seeks only while the decoder plays or pauses; it keeps its state.
    void SeekPercent(int nPercent) override;
    void SeekMilliseconds(std::int64_t nMilliseconds) override;
    // The position heard (from the output's played frames).
    void GetPosition(PlayPosition& pos) override;
    int GetLengthSeconds(int nTrack) override;
    std::int64_t GetLengthMilliseconds(int nTrack) override;
    int GetMode() override;
    int GetTrackCount() const override { return 0; }
    bool OpenDiscDoor() override { return false; }
    bool PlaysOn() override;

private:
    CPluginMedium(CPluginLibraries::Pair objects, std::uint32_t nSerial);

    IDecoderPlugin* m_pDecoder;
    IOutputPlugin* m_pOutput;
    const std::uint32_t m_nSerial;
    PluginMediaInfo m_info{};
};
