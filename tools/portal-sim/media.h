#pragma once

#include <cstddef>
#include <string>

namespace orvana::portal {

// Bytes of one MPEG-1 Layer III frame at 44.1 kHz, no padding: 417 at 128 kbps, 1044 at 320.
[[nodiscard]] std::size_t FrameLength(int kbps);

// Length of a song body: whole frames, as close to `wantedBytes` as fits below, but at least
// two, since a reader takes a frame header for one only when the next frame's header follows.
[[nodiscard]] std::size_t SongLength(int kbps, std::size_t wantedBytes);

// `length` bytes of the song body starting at `offset`, appended to `out`. The body is a run of
// silent MPEG-1 Layer III frames (44.1 kHz, joint stereo, no padding, empty side information),
// each carrying the song ID and its own number as ancillary bytes, so a body can be checked
// byte for byte and two songs never share bytes.
void AppendSongBytes(std::string& out, const std::string& songId, int kbps, std::size_t offset,
                     std::size_t length);

// The whole body of a song (for tests and small songs).
[[nodiscard]] std::string SongBody(const std::string& songId, int kbps, std::size_t wantedBytes);

// `length` bytes, from `offset` on, of a body that is no audio: a line of plain text naming the
// song, repeated (no byte 0xFF, so nothing in it looks like a frame header).
void AppendPlainBytes(std::string& out, const std::string& songId, std::size_t offset,
                      std::size_t length);

// A small valid JPEG that names the album in a comment segment.
[[nodiscard]] std::string CoverBytes(const std::string& albumId);

} // namespace orvana::portal
