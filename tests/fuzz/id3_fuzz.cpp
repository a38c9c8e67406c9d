// libFuzzer: the song tagger takes any body the portal sends, its own ID3v2 tag included, in
// chunks of any size. The first two bytes choose the chunking; the rest is the body.
#include "net/song_tags.h"

#include <cstdint>
#include <cstdlib>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>

namespace {

using orvana::net::SongTagger;
using orvana::net::SongTags;

const SongTags& Tags() {
    static const SongTags tags{QStringLiteral("流星雨"),
                               QStringLiteral("Album"),
                               2,
                               9,
                               QStringLiteral("Singer"),
                               QByteArray("\xFF\xD8\xFF\xE0 cover", 10)};
    return tags;
}

struct Outcome {
    QByteArray out;
    QString untagged;
};

// Chunks of 1 to maxChunk bytes, their sizes drawn from seed (maxChunk 0: one write).
Outcome Run(const QByteArray& body, unsigned maxChunk, unsigned seed) {
    Outcome o;
    SongTagger tagger(Tags(), [&](const char* data, qint64 size) { o.out.append(data, size); });
    qint64 at = 0;
    while (at < body.size()) {
        seed = seed * 1103515245u + 12345u;
        const qint64 n = maxChunk == 0 ? body.size() : 1 + (seed >> 16) % maxChunk;
        const qint64 take = std::min(n, body.size() - at);
        tagger.write(body.constData() + at, take);
        at += take;
    }
    if (tagger.bodyBytes() != body.size())
        std::abort();
    o.untagged = tagger.finish();
    return o;
}

// A tagged file: one v2.3 tag TagLib reads back with our title, then a tail of the body that
// starts with a frame header.
void CheckTagged(const QByteArray& body, const QByteArray& out) {
    if (!out.startsWith(QByteArray("ID3\x03\x00", 5)) || out.size() < 10)
        std::abort();
    qsizetype size = 0;
    for (int i = 6; i < 10; ++i)
        size = (size << 7) | (quint8(out[i]) & 0x7F);
    const QByteArray audio = out.mid(10 + size);
    if (audio.size() < 4 || !body.endsWith(audio) ||
        !orvana::net::IsMpegFrameHeader(audio.constData()))
        std::abort();
    TagLib::ByteVectorStream stream(TagLib::ByteVector(out.constData(), unsigned(10 + size)));
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    const TagLib::ID3v2::Tag* tag = file.ID3v2Tag();
    if (!tag || tag->header()->majorVersion() != 3 ||
        tag->title() != TagLib::String(Tags().title.toStdString(), TagLib::String::UTF8))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const QByteArray body(reinterpret_cast<const char*>(data) + 2, qsizetype(size - 2));
    const Outcome whole = Run(body, 0, 0);
    const Outcome chunked = Run(body, 1u + data[0], data[1]);
    if (chunked.out != whole.out || chunked.untagged != whole.untagged)
        std::abort();
    if (!whole.untagged.isEmpty() && whole.out != body)
        std::abort();
    if (whole.untagged.isEmpty())
        CheckTagged(body, whole.out);
    return 0;
}
