#include "net/song_tags.h"

#include <algorithm>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tfile.h>
#include <vector>

namespace orvana::net {
namespace {

constexpr qint64 kTagHeaderBytes = 10;
constexpr qint64 kFrameHeaderBytes = 4;

// A file of TagLib's over bytes held in memory, for reading the ID3v2 tag at its start.
class HeldTagFile final : public TagLib::File {
public:
    explicit HeldTagFile(TagLib::IOStream* stream) : TagLib::File(stream) {}
    TagLib::Tag* tag() const override { return nullptr; }
    TagLib::AudioProperties* audioProperties() const override { return nullptr; }
    bool save() override { return false; }
};

TagLib::String TagText(const QString& text) {
    return TagLib::String(text.toUtf8().toStdString(), TagLib::String::UTF8);
}

// Latin-1 when the text allows it; TagLib renders other text as UTF-16 in a v2.3 tag.
void AddText(TagLib::ID3v2::Tag& tag, const char* id, const QString& text) {
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame(id, TagLib::String::Latin1);
    frame->setText(TagText(text));
    tag.addFrame(frame);
}

void AddCover(TagLib::ID3v2::Tag& tag, const QByteArray& picture, const QByteArray& mime) {
    auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
    frame->setTextEncoding(TagLib::String::Latin1);
    frame->setMimeType(TagLib::String(mime.toStdString()));
    frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    frame->setPicture(TagLib::ByteVector(picture.constData(), unsigned(picture.size())));
    tag.addFrame(frame);
}

// The frames of ours, in a fixed order; returns the IDs written.
std::vector<TagLib::ByteVector> AddOwnFrames(TagLib::ID3v2::Tag& tag, const SongTags& tags) {
    std::vector<TagLib::ByteVector> written;
    const auto text = [&](const char* id, const QString& value) {
        if (value.isEmpty())
            return;
        AddText(tag, id, value);
        written.emplace_back(id);
    };
    text("TIT2", tags.title);
    text("TALB", tags.album);
    if (tags.trackNumber > 0)
        text("TRCK", tags.trackCount > 0
                         ? QStringLiteral("%1/%2").arg(tags.trackNumber).arg(tags.trackCount)
                         : QString::number(tags.trackNumber));
    text("TPE1", tags.artist);
    text("TPE2", tags.artist);
    const QByteArray mime = CoverMimeType(tags.cover);
    if (!mime.isEmpty()) {
        AddCover(tag, tags.cover, mime);
        written.emplace_back("APIC");
    }
    return written;
}

// A picture of the file's own that ours replaces: a front cover, or one with the same (empty)
// description, which a tag may hold only once.
bool ReplacedPicture(const TagLib::ID3v2::Frame* frame) {
    const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame);
    return !picture || picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover ||
           picture->description().isEmpty();
}

// Moves the frames of the file's own tag that ours does not write into ours.
void KeepOwnFrames(TagLib::ID3v2::Tag& ours, const std::vector<TagLib::ByteVector>& written,
                   const QByteArray& ownTag) {
    TagLib::ByteVectorStream stream(
        TagLib::ByteVector(ownTag.constData(), unsigned(ownTag.size())));
    HeldTagFile file(&stream);
    TagLib::ID3v2::Tag own(&file, 0);
    // Pointers of our own: a copy of TagLib's list would take over its deleting of the frames.
    const std::vector<TagLib::ID3v2::Frame*> frames(own.frameList().begin(), own.frameList().end());
    for (TagLib::ID3v2::Frame* frame : frames) {
        const TagLib::ByteVector id = frame->frameID();
        if (std::find(written.begin(), written.end(), id) != written.end() &&
            (id != "APIC" || ReplacedPicture(frame)))
            continue;
        own.removeFrame(frame, false);
        ours.addFrame(frame);
    }
}

quint32 SyncsafeSize(const char* four) {
    quint32 size = 0;
    for (int i = 0; i < 4; ++i)
        size = (size << 7) | (quint8(four[i]) & 0x7F);
    return size;
}

} // namespace

QByteArray CoverMimeType(const QByteArray& picture) {
    if (picture.startsWith("\xFF\xD8\xFF"))
        return QByteArrayLiteral("image/jpeg");
    if (picture.startsWith("\x89PNG\r\n\x1A\n"))
        return QByteArrayLiteral("image/png");
    return {};
}

bool IsMpegFrameHeader(const char* fourBytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(fourBytes);
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0)
        return false;
    const int version = (b[1] >> 3) & 3; // 1 is reserved
    const int layer = (b[1] >> 1) & 3;   // 0 is reserved
    const int bitrate = b[2] >> 4;       // 0 is free format, 15 is refused
    const int sampleRate = (b[2] >> 2) & 3;
    return version != 1 && layer != 0 && bitrate != 0 && bitrate != 15 && sampleRate != 3;
}

QByteArray RenderSongTag(const SongTags& tags, const QByteArray& ownTag) {
    TagLib::ID3v2::Tag tag;
    const std::vector<TagLib::ByteVector> written = AddOwnFrames(tag, tags);
    if (!ownTag.isEmpty())
        KeepOwnFrames(tag, written, ownTag);
    const TagLib::ByteVector rendered = tag.render(TagLib::ID3v2::v3);
    return QByteArray(rendered.data(), qsizetype(rendered.size()));
}

SongTagger::SongTagger(SongTags tags, Sink sink)
    : m_tags(std::move(tags)), m_sink(std::move(sink)) {}

qint64 SongTagger::wanted() const {
    switch (m_state) {
    case State::TagHeader:
        // Three bytes tell whether a tag starts; its header has ten.
        return m_held.size() >= 3 && m_held.startsWith("ID3") ? kTagHeaderBytes : 3;
    case State::LeadingTag:
        return m_audioStart;
    case State::AudioStart:
        return m_audioStart + kFrameHeaderBytes;
    case State::Passing:
        break;
    }
    return 0;
}

void SongTagger::write(const char* data, qint64 size) {
    m_bodyBytes += size;
    // A decision may need no new byte (a tag of size 0 ends where its header does).
    while (m_state != State::Passing) {
        if (m_held.size() == wanted()) {
            decide();
            continue;
        }
        if (size == 0)
            return;
        const qint64 take = std::min(size, wanted() - m_held.size());
        m_held.append(data, take);
        data += take;
        size -= take;
    }
    if (size > 0)
        m_sink(data, size);
}

void SongTagger::decide() {
    switch (m_state) {
    case State::TagHeader:
        if (m_held.startsWith("ID3"))
            readTagHeader();
        else
            m_state = State::AudioStart; // no tag of its own: the audio starts at once
        break;
    case State::LeadingTag:
        m_state = State::AudioStart;
        break;
    case State::AudioStart:
        if (IsMpegFrameHeader(m_held.constData() + m_audioStart))
            writeTagged();
        else
            passUntagged(QStringLiteral("not MPEG audio"));
        break;
    case State::Passing:
        break;
    }
}

void SongTagger::readTagHeader() {
    const char* header = m_held.constData();
    const int version = quint8(header[3]);
    const quint8 flags = quint8(header[5]);
    const bool sizeReadable =
        std::none_of(header + 6, header + 10, [](char c) { return quint8(c) & 0x80; });
    // Version 2.2 with its compression flag has no defined compression: nothing reads it.
    if (version < 2 || version > 4 || quint8(header[4]) == 0xFF || !sizeReadable ||
        (version == 2 && (flags & 0x40)))
        return passUntagged(QStringLiteral("the file's own tag cannot be read"));
    const bool footer = version == 4 && (flags & 0x10);
    m_audioStart = kTagHeaderBytes + SyncsafeSize(header + 6) + (footer ? kTagHeaderBytes : 0);
    if (m_audioStart > kMaxLeadingTag)
        return passUntagged(QStringLiteral("the file's own tag is larger than 16 MiB"));
    m_state = State::LeadingTag;
}

void SongTagger::writeTagged() {
    const QByteArray tag = RenderSongTag(m_tags, m_held.left(m_audioStart));
    m_untagged = QString();
    m_state = State::Passing;
    m_sink(tag.constData(), tag.size());
    m_sink(m_held.constData() + m_audioStart, m_held.size() - m_audioStart);
    m_held = QByteArray();
}

void SongTagger::passUntagged(const QString& reason) {
    m_untagged = reason;
    m_state = State::Passing;
    m_sink(m_held.constData(), m_held.size());
    m_held = QByteArray();
}

QString SongTagger::finish() {
    if (m_state == State::LeadingTag || (m_state == State::TagHeader && m_held.startsWith("ID3")))
        passUntagged(QStringLiteral("the file ends inside its own tag"));
    else if (m_state != State::Passing)
        passUntagged(QStringLiteral("not MPEG audio"));
    return *m_untagged;
}

} // namespace orvana::net
