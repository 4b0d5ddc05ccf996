#include "export/package_check.h"

#include <QFile>

#include <zlib.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace quilla {
namespace {

constexpr std::uint32_t endSignature = 0x06054b50;
constexpr std::uint32_t entrySignature = 0x02014b50;
constexpr std::uint32_t localSignature = 0x04034b50;
constexpr qint64 endSize = 22;
constexpr qint64 entrySize = 46;
constexpr qint64 localSize = 30;
constexpr qint64 longestComment = 0xFFFF;
constexpr std::uint32_t zip64Marker = 0xFFFFFFFF;
constexpr int stored = 0;
constexpr int deflated = 8;

class Bytes {
public:
    Bytes(const uchar* data, qint64 size) : data_(data), size_(size) {}
    qint64 size() const { return size_; }
    bool has(qint64 at, qint64 n) const { return at >= 0 && n >= 0 && at <= size_ - n; }
    std::uint16_t u16(qint64 at) const {
        return static_cast<std::uint16_t>(data_[at] | data_[at + 1] << 8);
    }
    std::uint32_t u32(qint64 at) const {
        return static_cast<std::uint32_t>(u16(at)) | static_cast<std::uint32_t>(u16(at + 2)) << 16;
    }
    const uchar* at(qint64 at) const { return data_ + at; }

private:
    const uchar* data_;
    qint64 size_;
};

struct Part {
    QString name;
    int method = 0;
    std::uint32_t crc = 0;
    qint64 packed = 0;
    qint64 size = 0;
    qint64 local = 0;
};

bool isXml(const QString& name) {
    return name.endsWith(u".xml") || name.endsWith(u".rels");
}

// The last end-of-directory record: the package's own comment, if any, lies after it.
std::optional<qint64> endRecord(const Bytes& bytes) {
    const qint64 lowest = std::max<qint64>(0, bytes.size() - endSize - longestComment);
    for (qint64 at = bytes.size() - endSize; at >= lowest; --at)
        if (bytes.u32(at) == endSignature)
            return at;
    return std::nullopt;
}

// Whether a part's text is one whole XML document: every tag closed by its
// own name, nothing after the root element. Fed a slice at a time, and far
// quicker than a full reader on sheets of tens of megabytes; what it does not
// check (entities, attribute syntax) a cut or a hole in the text would not
// leave intact anyway.
class XmlShape {
public:
    void feed(const char* slice, qsizetype n) {
        if (bad_)
            return;
        std::string_view text(slice, static_cast<std::size_t>(n));
        std::string joined;
        if (!pending_.empty()) {
            joined = pending_ + std::string(text);
            pending_.clear();
            text = joined;
        }
        std::size_t at = 0;
        while (at < text.size() && !bad_) {
            const std::size_t open = text.find('<', at);
            if (open_.empty() && !blank(text.substr(at, open - at))) {
                bad_ = true; // text outside the root element
                return;
            }
            if (open == std::string_view::npos)
                return;
            const std::size_t close = markupEnd(text, open);
            if (close == std::string_view::npos) {
                if (text.size() - open > longestMarkup)
                    bad_ = true;
                else
                    pending_ = std::string(text.substr(open));
                return;
            }
            markup(text.substr(open, close + 1 - open));
            at = close + 1;
        }
    }

    bool whole() const { return !bad_ && closed_ && open_.empty() && pending_.empty(); }

private:
    static constexpr std::size_t longestMarkup = 1 << 16;

    static bool blank(std::string_view text) {
        return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
    }

    // Where the markup that begins at `open` ends: its '>', outside quotes.
    static std::size_t markupEnd(std::string_view text, std::size_t open) {
        if (text.substr(open, 2) == "<?") {
            const std::size_t end = text.find("?>", open + 2);
            return end == std::string_view::npos ? end : end + 1;
        }
        char quote = 0;
        for (std::size_t i = open + 1; i < text.size(); ++i) {
            const char c = text[i];
            if (quote != 0) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                return i;
            } else if (c == '<') {
                return i; // markup inside markup: cut short
            }
        }
        return std::string_view::npos;
    }

    void markup(std::string_view m) {
        if (m.back() != '>' || m.size() < 3) {
            bad_ = true;
            return;
        }
        if (m[1] == '?') {
            bad_ = seen_; // declarations only before the root element
            return;
        }
        if (m[1] == '!') {
            bad_ = true; // never written by the library
            return;
        }
        if (m[1] == '/') {
            const std::string_view name = m.substr(2, m.size() - 3);
            if (open_.empty() || open_.back() != name) {
                bad_ = true;
                return;
            }
            open_.pop_back();
            closed_ = open_.empty();
            return;
        }
        if (closed_) {
            bad_ = true; // a second root
            return;
        }
        const std::size_t nameEnd = m.find_first_of(" \t\r\n/>", 1);
        const std::string_view name = m.substr(1, nameEnd - 1);
        if (name.empty()) {
            bad_ = true;
            return;
        }
        seen_ = true;
        if (m[m.size() - 2] == '/')
            closed_ = open_.empty();
        else
            open_.emplace_back(name);
    }

    std::vector<std::string> open_;
    std::string pending_;
    bool seen_ = false;   // the root element began
    bool closed_ = false; // and ended
    bool bad_ = false;
};

// Inflates (or copies) one part in slices, feeding each to the checksum and,
// for XML, to a reader that must reach the document's end without error.
std::optional<QString> checkPart(const Bytes& bytes, const Part& part, std::stop_token stop) {
    const auto fault = [&](const char* what) {
        return QStringLiteral("工作簿的部件“%1”%2").arg(part.name, QString::fromUtf8(what));
    };
    if (part.size == 0)
        return fault("是空的");
    if (!bytes.has(part.local, localSize) || bytes.u32(part.local) != localSignature)
        return fault("找不到");
    const qint64 data =
        part.local + localSize + bytes.u16(part.local + 26) + bytes.u16(part.local + 28);
    if (!bytes.has(data, part.packed))
        return fault("超出了文件");
    const bool xml = isXml(part.name);
    XmlShape shape;
    uLong crc = crc32(0L, Z_NULL, 0);
    qint64 total = 0;
    const auto take = [&](const uchar* slice, qint64 n) {
        crc = crc32(crc, slice, static_cast<uInt>(n));
        total += n;
        if (xml)
            shape.feed(reinterpret_cast<const char*>(slice), n);
    };
    if (part.method == stored) {
        constexpr qint64 slice = 1 << 16;
        for (qint64 at = 0; at < part.packed; at += slice) {
            if (stop.stop_requested())
                return fault("没有读完");
            take(bytes.at(data + at), std::min(slice, part.packed - at));
        }
    } else if (part.method == deflated) {
        z_stream z{};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
            return fault("无法解压");
        std::array<uchar, 1 << 16> out{};
        const uchar* in = bytes.at(data);
        qint64 left = part.packed;
        int status = Z_OK;
        while (status == Z_OK) {
            if (stop.stop_requested()) {
                inflateEnd(&z);
                return fault("没有读完");
            }
            if (z.avail_in == 0 && left > 0) {
                const auto n = static_cast<uInt>(std::min<qint64>(left, 1 << 20));
                z.next_in = const_cast<uchar*>(in);
                z.avail_in = n;
                in += n;
                left -= n;
            }
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            status = inflate(&z, Z_NO_FLUSH);
            const qint64 produced = static_cast<qint64>(out.size()) - z.avail_out;
            if (produced > 0)
                take(out.data(), produced);
            if (status == Z_BUF_ERROR && left > 0)
                status = Z_OK;
            // More than the directory promises is as wrong as less.
            if (total > part.size)
                break;
        }
        inflateEnd(&z);
        if (status != Z_STREAM_END)
            return fault("无法解压");
    } else {
        return fault("压缩方式不明");
    }
    if (total != part.size || crc != part.crc)
        return fault("与记录的大小或校验和不符");
    if (xml && !shape.whole())
        return fault("不完整");
    return std::nullopt;
}

} // namespace

std::optional<QString> packageFault(const QString& path, std::stop_token stop) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("无法读回工作簿：") + file.errorString();
    const qint64 size = file.size();
    if (size < endSize)
        return QStringLiteral("工作簿不完整");
    const uchar* mapped = file.map(0, size);
    if (!mapped)
        return QStringLiteral("无法读回工作簿：") + file.errorString();
    const Bytes bytes(mapped, size);
    const auto end = endRecord(bytes);
    if (!end)
        return QStringLiteral("工作簿不完整：没有目录");
    const qint64 count = bytes.u16(*end + 10);
    const qint64 directory = bytes.u32(*end + 16);
    if (count == 0 || bytes.u32(*end + 12) == zip64Marker || directory == zip64Marker)
        return QStringLiteral("工作簿不完整：目录无法读取");
    qint64 at = directory;
    for (qint64 i = 0; i < count; ++i) {
        if (!bytes.has(at, entrySize) || bytes.u32(at) != entrySignature)
            return QStringLiteral("工作簿不完整：目录无法读取");
        const qint64 nameLength = bytes.u16(at + 28);
        const qint64 extra = bytes.u16(at + 30);
        const qint64 comment = bytes.u16(at + 32);
        if (!bytes.has(at + entrySize, nameLength))
            return QStringLiteral("工作簿不完整：目录无法读取");
        Part part;
        part.name =
            QString::fromUtf8(reinterpret_cast<const char*>(bytes.at(at + entrySize)), nameLength);
        part.method = bytes.u16(at + 10);
        part.crc = bytes.u32(at + 16);
        const std::uint32_t packed = bytes.u32(at + 20);
        const std::uint32_t unpacked = bytes.u32(at + 24);
        const std::uint32_t local = bytes.u32(at + 42);
        if (packed == zip64Marker || unpacked == zip64Marker || local == zip64Marker)
            return QStringLiteral("工作簿不完整：目录无法读取");
        part.packed = packed;
        part.size = unpacked;
        part.local = local;
        if (const auto fault = checkPart(bytes, part, stop))
            return fault;
        at += entrySize + nameLength + extra + comment;
    }
    return std::nullopt;
}

} // namespace quilla
