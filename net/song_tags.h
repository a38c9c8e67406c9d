#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace orvana::net {

// What the tag of one song says. An empty text (or a zero track) writes no frame of its own, and
// a frame of that kind in the portal's file is then kept.
struct SongTags {
    QString title;       // TIT2, as the portal gives it (not the cleaned file name)
    QString album;       // TALB
    int trackNumber = 0; // TRCK "n/N": the song's position among the album's song links...
    int trackCount = 0;  // ...and their number; 0 leaves N out
    QString artist;      // TPE1 and TPE2
    QByteArray cover;    // APIC front cover; empty, or neither JPEG nor PNG: no picture
};

// "image/jpeg" or "image/png" from the picture's first bytes; empty for anything else. Pure.
[[nodiscard]] QByteArray CoverMimeType(const QByteArray& picture);

// Whether four bytes are an MPEG audio frame header (sync, a version, a layer, a bit rate and a
// sample rate that are not reserved; free format is refused). Pure.
[[nodiscard]] bool IsMpegFrameHeader(const char* fourBytes);

// Writes a song body as it arrives, with an ID3v2.3 tag of ours in front of its audio.
//
// The body's own leading ID3v2 tag (2.2, 2.3 or 2.4), if it has one, is held and read: its frames
// are kept in ours, except those ours writes, and it is not written itself. The audio after it
// goes on byte for byte. Only what the decision needs is held (that tag, up to kMaxLeadingTag,
// and the first four bytes of audio); the rest passes straight on. A body whose audio does not
// start with an MPEG frame header, or whose own tag cannot be read, is passed on exactly as it
// came. Not thread-safe; the sink's errors go through write() and finish() to the caller.
class SongTagger {
public:
    using Sink = std::function<void(const char* data, qint64 size)>;
    // A larger leading tag is not held: the body is stored untagged.
    static constexpr qint64 kMaxLeadingTag = qint64(16) * 1024 * 1024;

    SongTagger(SongTags tags, Sink sink);

    // Takes the next bytes of the body.
    void write(const char* data, qint64 size);
    // The body is complete: passes on what is still held. Returns why the tag was not written
    // (short English words, such as "not MPEG audio"), or an empty text when it was.
    [[nodiscard]] QString finish();

    // Bytes of the body taken so far (not of what was written).
    [[nodiscard]] qint64 bodyBytes() const noexcept { return m_bodyBytes; }

private:
    enum class State { TagHeader, LeadingTag, AudioStart, Passing };
    // Bytes that must be held before the next decision can be made.
    [[nodiscard]] qint64 wanted() const;
    void decide();
    void readTagHeader();
    void writeTagged();
    void passUntagged(const QString& reason);

    SongTags m_tags;
    Sink m_sink;
    State m_state = State::TagHeader;
    QByteArray m_held;
    qint64 m_audioStart = 0; // where the audio begins in the body: after its own tag
    qint64 m_bodyBytes = 0;
    std::optional<QString> m_untagged; // set once decided: empty when tagged
};

// Renders tags as a whole ID3v2.3 tag, with the frames of `ownTag` (a complete ID3v2 tag of any
// version, or empty) that ours does not write. For SongTagger and its tests. Pure.
[[nodiscard]] QByteArray RenderSongTag(const SongTags& tags, const QByteArray& ownTag = {});

} // namespace orvana::net
