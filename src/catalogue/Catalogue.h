#pragma once
// The album catalogue of one user: resolving a home-page address into the user's id and
// title, and listing the user's albums into the view.
//
// The protocol that speaks to the service comes from the table of protocols (Protocols.h);
// this class runs the steps and reports them.

#include <atomic>
#include <memory>
#include <mutex>

#include "catalogue/EngineView.h"
#include "catalogue/Protocol.h"
#include "runtime/Text.h"

namespace ovx {

// The home-page address as the service is asked for it: trimmed, with "https://" in front
// when it names no scheme ("http://" for a loopback host).
Text CompleteHomePageAddress(const Text& typed);

class Catalogue {
  public:
    // Every request goes through the session's cookies and governor.
    Catalogue(EngineView& view, ServiceSettings settings, SessionContext session);

    // Reads the home-page box, resolves the user and, when the box was not empty, lists the
    // albums; false when it did nothing (the box was empty, or another run is going).
    // Runs on a worker thread and gives up early when the thread's job is asked to stop.
    bool ResolveAndList();

    // The steps alone (ResolveAndList runs them in order). ResolveUser shows "请输入网址"
    // and returns false for an empty box. ListAlbums returns the number of rows added.
    // Either does nothing (false, 0) while another resolution or list run is going.
    bool ResolveUser();
    int ListAlbums();

    // The album-page button: resolves the user from `address` (the browser's address box)
    // and returns the address of the user's album page on the photo service. The user of
    // the last resolution stays as it is.
    Text AlbumPageAddress(const Text& address);

    // The user of the last resolution.
    ListedUser User() const;

    // What kept the last resolution or list from the service: nothing arrived from the home
    // page (no host, refused, TLS, time-out), the user's profile could not be read, the
    // service says it has no such user to show, or the album list could not be fetched.
    // `cause` names the host and the reason, or gives the service's message.
    enum class Failure { None, HomePage, Profile, NoSuchUser, AlbumList, NotLoggedIn, Refused };
    Failure LastFailure(Text* cause = nullptr) const;

    // The user and the protocol of the rows last listed: a download saves under this user,
    // whatever was resolved since. No protocol when nothing was listed.
    struct Listing {
        ListedUser user;
        std::shared_ptr<Protocol> protocol;
    };
    Listing Listed() const;

    bool Busy() const { return busy_.load(); }

  private:
    bool Resolve();
    int List();
    // Adds the row of one album with photos; false when a stop came first.
    bool AddRow(const AlbumListing& album, int number, const Text& imageHeaders);
    void SetUser(const ListedUser& user, std::shared_ptr<Protocol> protocol);
    // Says why the service gave nothing; false when the run was stopped instead.
    bool Report(ServiceOutcome outcome, Failure where, const Text& failure);
    // The protocol for the address (the options page's choice, else the settings') and the
    // user it resolves; none when the home page that the choice needs could not be fetched.
    std::shared_ptr<Protocol> ChooseProtocol(const Text& address, ListedUser& user,
                                             ServiceOutcome& outcome, Text& failure);
    void SetFailure(Failure failure, const Text& cause);
    // The log and the wait display of the view, for the protocol's requests.
    RunHooks Hooks() const;

    EngineView& view_;
    ServiceSettings settings_;
    SessionContext session_;
    mutable std::mutex userMutex_;
    ListedUser user_;
    std::shared_ptr<Protocol> protocol_;
    Listing listed_;
    Failure failure_ = Failure::None;
    Text failureCause_;
    std::atomic<bool> busy_{false};
};

}  // namespace ovx
