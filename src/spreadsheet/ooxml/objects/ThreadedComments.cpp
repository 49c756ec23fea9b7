#include "spreadsheet/ooxml/objects/ThreadedComments.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <random>

namespace quillory::spreadsheet::ooxml {

namespace {

std::mt19937_64& GuidEngine() {
    thread_local std::mt19937_64 engine{[] {
        std::random_device device;
        return (static_cast<std::uint64_t>(device()) << 32) ^ device();
    }()};
    return engine;
}

const std::string* Find(const GuidMap& map, std::string_view key) {
    const auto found = map.find(FoldGuid(key));
    return found == map.end() ? nullptr : &found->second;
}

void CollectThreadIds(const XmlNode& node, GuidMap& ids) {
    for (const auto& child : node.children) {
        if (child.isText()) {
            continue;
        }
        if (child.localName() == "threadedComment") {
            if (const std::string* id = child.attribute("id")) {
                ids.emplace(FoldGuid(*id), NewGuid());
            }
        }
        CollectThreadIds(child, ids);
    }
}

} // namespace

std::string NewGuid() {
    auto& engine = GuidEngine();
    const std::uint64_t high = engine();
    const std::uint64_t low = engine();
    std::array<unsigned char, 16> bytes{};
    for (int i = 0; i < 8; ++i) {
        bytes[static_cast<std::size_t>(i)] = static_cast<unsigned char>(high >> (8 * i));
        bytes[static_cast<std::size_t>(i + 8)] = static_cast<unsigned char>(low >> (8 * i));
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40); // version 4 (random)
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    char text[40];
    std::snprintf(
        text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
        bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
        bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

std::string FoldGuid(std::string_view guid) {
    std::string folded(guid);
    for (char& ch : folded) {
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    return folded;
}

GuidMap PlanThreadIds(std::string_view threadedCommentsXml, const std::string& fileName,
                      const std::string& partName) {
    GuidMap ids;
    try {
        CollectThreadIds(ParseXmlTree(threadedCommentsXml, fileName, partName), ids);
    } catch (const SpreadsheetError&) {
        // The rewrite reports the broken part; planning only has no ids to give.
    }
    return ids;
}

ThreadedCommentsRewrite RewriteThreadedComments(std::string_view xml, const GuidMap& threadIds,
                                                const GuidMap& personIds,
                                                const std::string& fileName,
                                                const std::string& partName) {
    ThreadedCommentsRewrite result;
    XmlNode root = ParseNamespacedXmlTree(xml, fileName, partName);
    GuidMap ids = threadIds;
    CollectThreadIds(root, ids); // emplace keeps planned ids, adds any the plan did not see
    const auto mapPerson = [&](XmlNode& node, std::string_view attribute) {
        if (const std::string* person = node.attribute(attribute)) {
            if (const std::string* mapped = Find(personIds, *person)) {
                node.setAttribute(attribute, *mapped);
            } else {
                ++result.unknownPeople;
            }
        }
    };
    for (auto& comment : root.children) {
        if (comment.isText() || comment.localName() != "threadedComment") {
            continue;
        }
        ++result.comments;
        if (const std::string* id = comment.attribute("id")) {
            comment.setAttribute("id", *Find(ids, *id));
        }
        if (const std::string* parent = comment.attribute("parentId")) {
            if (const std::string* mapped = Find(ids, *parent)) {
                comment.setAttribute("parentId", *mapped);
            } else {
                comment.removeAttribute("parentId");
                ++result.orphanReplies;
            }
        }
        mapPerson(comment, "personId");
        if (XmlNode* mentions = comment.child("mentions")) {
            for (auto& mention : mentions->children) {
                if (mention.isText() || mention.localName() != "mention") {
                    continue;
                }
                mapPerson(mention, "mentionpersonId");
                if (mention.attribute("mentionId") != nullptr) {
                    mention.setAttribute("mentionId", NewGuid());
                }
            }
        }
    }
    result.xml = std::string(kXmlDeclaration);
    AppendNode(result.xml, root);
    return result;
}

GuidMap ResultPersons::merge(std::string_view personXml, const std::string& fileName,
                             const std::string& partName) {
    GuidMap map;
    const XmlNode root = ParseXmlTree(personXml, fileName, partName);
    for (const auto& node : root.children) {
        if (node.isText() || node.localName() != "person") {
            continue;
        }
        const std::string id = node.attributeOr("id", "");
        if (id.empty()) {
            continue;
        }
        Person person;
        person.id = id;
        person.userId = node.attributeOr("userId", "");
        person.providerId = node.attributeOr("providerId", "");
        // Child elements (extension lists) may use prefixes of the source's root: not carried.
        person.attributes = node.attributes;
        const Person* same = nullptr;
        for (const auto& existing : persons_) {
            const bool sameId = FoldGuid(existing.id) == FoldGuid(id);
            const bool sameUser = !person.userId.empty() && existing.userId == person.userId &&
                                  existing.providerId == person.providerId;
            if (sameId || sameUser) {
                same = &existing;
                break;
            }
        }
        if (same != nullptr) {
            map[FoldGuid(id)] = same->id;
            continue;
        }
        map[FoldGuid(id)] = id;
        persons_.push_back(std::move(person));
    }
    return map;
}

std::string ResultPersons::toXml() const {
    std::string xml(kXmlDeclaration);
    xml += "<personList xmlns=\"";
    xml += kThreadedCommentsNamespace;
    xml += "\" xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
    for (const auto& person : persons_) {
        AppendStartTag(xml, "person", person.attributes, true);
    }
    xml += "</personList>";
    return xml;
}

} // namespace quillory::spreadsheet::ooxml
