#pragma once
// Threaded comments and the people who wrote them. Every thread and reply has a GUID that must
// be unique in a workbook, so each copy gets new ones (replies follow their parent, and the
// legacy note that mirrors a thread follows through its "tc={id}" author). People live in one
// workbook-level part; the result holds one merged list, the same person from several sources
// kept once.

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quillory::spreadsheet::ooxml {

inline constexpr std::string_view kPersonRelationshipType =
    "http://schemas.microsoft.com/office/2017/10/relationships/person";
inline constexpr std::string_view kPersonContentType = "application/vnd.ms-excel.person+xml";
inline constexpr std::string_view kPersonPartName = "xl/persons/person.xml";
inline constexpr std::string_view kThreadedCommentsNamespace =
    "http://schemas.microsoft.com/office/spreadsheetml/2018/threadedcomments";

// A new random GUID in braces, upper case: "{0C1F...}".
std::string NewGuid();
// The form GUIDs are compared in (upper case, braces kept as written).
std::string FoldGuid(std::string_view guid);

// Source GUID (folded) -> result GUID.
using GuidMap = std::map<std::string, std::string>;

// A new id for every threaded comment of a part (the part's text; unreadable text gives none).
GuidMap PlanThreadIds(std::string_view threadedCommentsXml, const std::string& fileName,
                      const std::string& partName);

struct ThreadedCommentsRewrite {
    std::string xml;
    std::size_t comments = 0;      // threads and replies
    std::size_t unknownPeople = 0; // authors or mentions the source's person list lacks
    std::size_t orphanReplies = 0; // replies whose parent is not in the part: made threads
};

// Rewrites a threaded-comments part: ids and parent ids through `threadIds` (ids missing there
// get new ones), people and mentions through `personIds`. Throws SpreadsheetError when the part
// is not well-formed XML.
ThreadedCommentsRewrite RewriteThreadedComments(std::string_view xml, const GuidMap& threadIds,
                                                const GuidMap& personIds,
                                                const std::string& fileName,
                                                const std::string& partName);

// The result's one person list.
class ResultPersons {
public:
    // Adds the people of a source's person part and returns source person id (folded) -> result
    // person id. A person already present (same id, or same user and identity provider) is
    // kept once. Throws SpreadsheetError when the part is not well-formed XML.
    GuidMap merge(std::string_view personXml, const std::string& fileName,
                  const std::string& partName);
    bool empty() const { return persons_.empty(); }
    std::size_t size() const { return persons_.size(); }
    std::string toXml() const;

private:
    struct Person {
        std::string id;
        std::string userId;
        std::string providerId;
        std::vector<std::pair<std::string, std::string>> attributes; // as written, id included
    };
    std::vector<Person> persons_;
};

} // namespace quillory::spreadsheet::ooxml
