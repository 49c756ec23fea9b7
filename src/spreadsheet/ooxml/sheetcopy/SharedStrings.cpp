#include "spreadsheet/ooxml/sheetcopy/SharedStrings.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/PackageError.h"
#include "spreadsheet/ooxml/styles/StyleXml.h"

#include <algorithm>
#include <limits>

namespace quillory::spreadsheet::ooxml {

// Streams an sst part and writes each <si>'s content canonically into the source's buffer.
class SharedStringsCollector : public XmlEventHandler {
public:
    explicit SharedStringsCollector(SourceSharedStrings& target) : target_(target) {}

    void startElement(XmlName name, std::vector<XmlAttribute> attributes) override {
        ++depth_;
        if (depth_ == kItemDepth) {
            inItem_ = name.local == "si";
            return;
        }
        if (!inItem_ || depth_ < kItemDepth) {
            return;
        }
        closePendingStartTag();
        auto& out = target_.text_;
        const std::size_t scopeSize = scope_.size();
        std::string qualified;
        out += '<';
        if (name.isMain()) {
            qualified = name.local;
            out += qualified;
            if (boundUri("") != kSpreadsheetMainNs) {
                declare(out, "", std::string(kSpreadsheetMainNs));
            }
        } else {
            qualified = name.prefix.empty() ? name.local : name.prefix + ":" + name.local;
            out += qualified;
            if (boundUri(name.prefix) != name.uri) {
                declare(out, name.prefix, name.uri);
            }
        }
        for (const auto& attribute : attributes) {
            out += ' ';
            if (attribute.name.uri.empty()) {
                out += attribute.name.local;
            } else if (attribute.name.uri == kXmlNs) {
                out += "xml:" + attribute.name.local;
            } else {
                const std::string prefix =
                    attribute.name.prefix.empty() ? std::string("ns") : attribute.name.prefix;
                if (boundUri(prefix) != attribute.name.uri) {
                    declare(out, prefix, attribute.name.uri);
                    out += ' ';
                }
                out += prefix + ":" + attribute.name.local;
            }
            out += "=\"";
            AppendEscapedAttribute(out, attribute.value);
            out += '"';
        }
        open_.push_back({std::move(qualified), scopeSize});
        pendingStartTag_ = true;
    }

    void endElement() override {
        if (depth_ == kItemDepth && inItem_) {
            target_.ends_.push_back(target_.text_.size());
            inItem_ = false;
        } else if (inItem_ && depth_ > kItemDepth) {
            auto& out = target_.text_;
            if (pendingStartTag_) {
                out += "/>";
                pendingStartTag_ = false;
            } else {
                out += "</" + open_.back().qualified + ">";
            }
            scope_.resize(open_.back().scopeSize);
            open_.pop_back();
        }
        --depth_;
    }

    void characters(std::string_view text) override {
        // Text directly inside <si> (indentation) is not part of the string.
        if (!inItem_ || depth_ <= kItemDepth) {
            return;
        }
        closePendingStartTag();
        AppendEscapedText(target_.text_, text);
    }

private:
    static constexpr int kItemDepth = 2; // sst = 1, si = 2

    struct OpenElement {
        std::string qualified;
        std::size_t scopeSize;
    };

    void closePendingStartTag() {
        if (pendingStartTag_) {
            target_.text_ += '>';
            pendingStartTag_ = false;
        }
    }

    std::string_view boundUri(std::string_view prefix) const {
        for (auto it = scope_.rbegin(); it != scope_.rend(); ++it) {
            if (it->first == prefix) {
                return it->second;
            }
        }
        // The result's sst declares the SpreadsheetML namespace as the default.
        return prefix.empty() ? kSpreadsheetMainNs : std::string_view();
    }

    void declare(std::string& out, const std::string& prefix, const std::string& uri) {
        out += prefix.empty() ? " xmlns=\"" : " xmlns:" + prefix + "=\"";
        AppendEscapedAttribute(out, uri);
        out += '"';
        scope_.emplace_back(prefix, uri);
    }

    SourceSharedStrings& target_;
    int depth_ = 0;
    bool inItem_ = false;
    bool pendingStartTag_ = false;
    std::vector<OpenElement> open_;
    std::vector<std::pair<std::string, std::string>> scope_;
};

SourceSharedStrings SourceSharedStrings::parse(std::string_view sstXml, const std::string& fileName,
                                               std::string_view partName) {
    SourceSharedStrings strings;
    strings.fileName_ = fileName;
    strings.partName_ = partName;
    strings.text_.reserve(sstXml.size());
    SharedStringsCollector collector(strings);
    ParseXmlEvents(sstXml, collector, fileName, partName);
    strings.text_.shrink_to_fit();
    return strings;
}

std::string_view SourceSharedStrings::item(std::size_t index) const {
    if (index >= ends_.size()) {
        ThrowDamaged(ErrorCode::IndexOutOfRange, fileName_, partName_,
                     "a cell uses shared string " + std::to_string(index) +
                         ", but the shared strings part holds only " +
                         std::to_string(ends_.size()));
    }
    const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
    return std::string_view(text_).substr(begin, ends_[index] - begin);
}

namespace {

constexpr std::size_t kTextBlockBytes = 1024 * 1024;
constexpr std::size_t kInitialSlots = 1024; // a power of two
constexpr std::size_t kWritePieceBytes = 64 * 1024;

std::size_t HashText(std::string_view text) {
    return std::hash<std::string_view>{}(text);
}

} // namespace

ResultSharedStrings::ResultSharedStrings() : slots_(kInitialSlots, 0) {}

std::string_view ResultSharedStrings::text(const ItemRef& ref) const {
    return std::string_view(blocks_[ref.block]).substr(ref.offset, ref.length);
}

std::string_view ResultSharedStrings::store(std::string_view text) {
    if (blocks_.empty() || blocks_.back().capacity() - blocks_.back().size() < text.size()) {
        blocks_.emplace_back();
        blocks_.back().reserve(std::max(kTextBlockBytes, text.size()));
    }
    std::string& block = blocks_.back();
    const std::size_t offset = block.size();
    block.append(text); // within the reserved capacity: earlier items stay where they are
    return std::string_view(block).substr(offset, text.size());
}

void ResultSharedStrings::growIndex() {
    std::vector<std::uint32_t> slots(slots_.size() * 2, 0);
    const std::size_t mask = slots.size() - 1;
    for (std::uint32_t number = 1; number <= items_.size(); ++number) {
        std::size_t at = HashText(text(items_[number - 1])) & mask;
        while (slots[at] != 0) {
            at = (at + 1) & mask;
        }
        slots[at] = number;
    }
    slots_ = std::move(slots);
}

int ResultSharedStrings::add(std::string_view siInnerXml) {
    ++count_;
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = HashText(siInnerXml) & mask;
    while (slots_[at] != 0) {
        const std::uint32_t number = slots_[at];
        if (text(items_[number - 1]) == siInnerXml) {
            return static_cast<int>(number - 1);
        }
        at = (at + 1) & mask;
    }
    if (items_.size() >= static_cast<std::size_t>(std::numeric_limits<int>::max()) ||
        siInnerXml.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw SpreadsheetError(ErrorCode::LimitExceeded,
                               "The merged workbook would hold more different texts than a "
                               "workbook can index. Merge fewer worksheets into one workbook.");
    }
    const std::string_view stored = store(siInnerXml);
    const auto& block = blocks_.back();
    items_.push_back({static_cast<std::uint32_t>(blocks_.size() - 1),
                      static_cast<std::uint32_t>(stored.data() - block.data()),
                      static_cast<std::uint32_t>(stored.size())});
    const int index = static_cast<int>(items_.size() - 1);
    slots_[at] = static_cast<std::uint32_t>(items_.size());
    if (items_.size() * 2 > slots_.size()) {
        growIndex();
    }
    return index;
}

void ResultSharedStrings::addReference(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= items_.size()) {
        throw SpreadsheetError(ErrorCode::Internal,
                               "Shared string " + std::to_string(index) + " was never added.");
    }
    ++count_;
}

std::string_view ResultSharedStrings::item(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= items_.size()) {
        throw SpreadsheetError(ErrorCode::Internal,
                               "Shared string " + std::to_string(index) + " was never added.");
    }
    return text(items_[static_cast<std::size_t>(index)]);
}

void ResultSharedStrings::write(const std::function<void(std::string_view)>& sink) const {
    std::string piece = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
                        "\n<sst xmlns=\"";
    piece += kSpreadsheetMainNs;
    piece += "\" count=\"" + std::to_string(count_) + "\" uniqueCount=\"" +
             std::to_string(items_.size()) + "\">";
    piece.reserve(kWritePieceBytes + 256);
    for (const ItemRef& ref : items_) {
        piece += "<si>";
        piece += text(ref);
        piece += "</si>";
        if (piece.size() >= kWritePieceBytes) {
            sink(piece);
            piece.clear();
        }
    }
    piece += "</sst>";
    sink(piece);
}

std::string ResultSharedStrings::toXml() const {
    std::string out;
    write([&out](std::string_view piece) { out.append(piece); });
    return out;
}

bool IsPlainTextItem(std::string_view item) {
    constexpr std::string_view kOpen = "<t>";
    constexpr std::string_view kOpenPreserved = "<t xml:space=\"preserve\">";
    constexpr std::string_view kClose = "</t>";
    if (item.starts_with(kOpen)) {
        item.remove_prefix(kOpen.size());
    } else if (item.starts_with(kOpenPreserved)) {
        item.remove_prefix(kOpenPreserved.size());
    } else {
        return false;
    }
    return item.ends_with(kClose) && item.find('<') == item.size() - kClose.size();
}

SharedStringImporter::SharedStringImporter(const SourceSharedStrings& source,
                                           ResultSharedStrings& result,
                                           ResultStyles::Importer* styles)
    : source_(source), result_(result), styles_(styles), mapped_(source.size(), -1) {}

int SharedStringImporter::map(std::size_t sourceIndex) {
    const std::string_view item = source_.item(sourceIndex); // checks the range
    int& mapped = mapped_[sourceIndex];
    if (mapped >= 0) {
        result_.addReference(mapped);
        return mapped;
    }
    // Plain text has no fonts or colours to translate: the common case skips the re-parse.
    mapped = styles_ != nullptr && !IsPlainTextItem(item) ? result_.add(styles_->richText(item))
                                                          : result_.add(item);
    return mapped;
}

} // namespace quillory::spreadsheet::ooxml
