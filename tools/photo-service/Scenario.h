#pragma once
// The stand-in photo service's data: users, albums, photos and the faults to inject,
// loaded from a JSON scenario file. All texts are UTF-8.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace photoservice {

struct Photo {
    std::string photoId;  // 16 digits
    std::string caption;
    std::int64_t timestamp = 0;  // seconds since the epoch
    std::string picName;         // "<pid>.jpg" or "<pid>.gif"
    int number = 0;              // 1-based position in the album, newest first
    bool gif = false;
};

struct Album {
    std::string albumId;  // 16 digits
    std::string caption;
    std::string type = "3";
    bool typeIsNumber = true;
    // cover_pic: "auto" (an image of this service), "" (empty) or an address given as is.
    std::string cover = "auto";
    std::optional<std::string> reportedCount;  // count.photos when it differs from the photos
    bool timestampsInMilliseconds = false;
    // pic_host of this album's photos ("{port}" replaced); empty: the scenario's.
    std::string picHost;
    std::set<std::string> omitAlbumMembers;  // left out of the album record
    std::set<std::string> omitPhotoMembers;  // left out of every photo record
    std::vector<Photo> photos;               // newest first
    int seq = 0;                             // position among all albums, from 1
};

struct User {
    std::string uid;
    std::string name;  // optional custom home-page path
    std::string title;
    bool ownerUidMarker = false;  // "owner_uid: " instead of "$CONFIG['oid']='"
    std::string markerValue;      // what the marker holds, when not the uid (a hostile page)
    std::vector<Album> albums;
};

// A fault applies to the requests whose path (or path prefix, when it ends in '*') and query
// values match: after `skip` of them, to the next `times` (all when negative).
struct Fault {
    std::string path;
    bool prefix = false;
    std::map<std::string, std::string> query;
    int skip = 0;
    int times = -1;
    std::string action;  // "", "empty", "status", "html" or "truncate"
    int status = 500;
    int delayMs = 0;
    long keepBytes = -1;      // for "truncate": bytes sent before the cut; half when negative
    long bytesPerSecond = 0;  // when positive, the answer trickles out at this rate
};

struct Scenario {
    std::vector<User> users;
    std::vector<Fault> faults;
    std::string picHost;         // "{port}" is replaced by the bound port; empty: this server
    std::size_t imageBytes = 0;  // images are padded up to about this size
    bool requireLogin = true;
    std::string session;  // a session value accepted besides the ones /login hands out
    std::string versionPage;
    bool escapeUnicode = true;  // non-ASCII as \uXXXX in JSON answers

    const User* FindUser(const std::string& uidOrName) const;
};

// Reads a scenario; on failure returns nothing and sets `error`.
std::optional<Scenario> LoadScenario(const std::string& path, std::string& error);
std::optional<Scenario> ParseScenario(const std::string& json, std::string& error);

// The format description that --help prints.
const char* ScenarioHelp();

}  // namespace photoservice
