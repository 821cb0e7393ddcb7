#pragma once

#include <cstdint>
#include <string>

// What a file's tags say of it, for the desktop (the bus service): read with TagLib from
// every kind of file the player plays (ID3v2 and ID3v1, RIFF INFO, Vorbis comments, FLAC
// pictures, MP4 atoms, APE and ASF tags). Texts are UTF-8; empty when the file says nothing.
// Texts that name no encoding (ID3v1, ID3v2 frames marked Latin-1) are read by the one
// legacy-text rule of base/LegacyText.h.
struct MediaTags
{
    std::string strTitle;
    std::string strArtist;
    std::string strAlbum;
    int nTrack = 0;           // 0 when none
    std::string strCover;     // the embedded front cover's bytes; empty for none
    std::string strCoverType; // its MIME type ("image/jpeg", "image/png")
};

// The tags of the plain file at strPath; all empty for a file that is missing, special (a
// FIFO would block), unreadable or without tags. Reads the file's header only.
MediaTags ReadMediaTags(const std::string& strPath);

// The picture that stands for the file at strPath: its embedded cover, written once into
// $XDG_CACHE_HOME/sorvane/ (named after its contents, so each picture is written once), else
// a cover.jpg or folder.jpg beside the file. Empty when there is none or it cannot be written.
std::string CoverArtPath(const std::string& strPath, const MediaTags& tags);

// The last file's tags and cover, read again only when the path or the file's modification
// time changes, so that the bus service can answer every query without reading the file.
// One thread.
class CMediaTagCache
{
public:
    // The tags of strPath, without the cover's bytes; *pstrCover receives CoverArtPath when
    // not null.
    const MediaTags& Get(const std::string& strPath, std::string* pstrCover = nullptr);

private:
    std::string m_strPath;
    std::int64_t m_nModified = -1;
    MediaTags m_tags;
    std::string m_strCover;
};
