#pragma once
// URL and cookie text helpers used by the request routines and by page scraping.
//
// A cookie text is "name=value" items joined by "; ". All routines are pure functions of their
// arguments (MergeCookies also rewrites its two arguments) and safe on any thread.

#include "runtime/Text.h"
#include "runtime/TextOps.h"

namespace ovx {

// The text strictly between the first `left` marker (searched from `start`, 1-based; below 1
// counts as 1) and the next `right` marker, or "" when either is missing. In both markers
// "#引号" stands for a double quote.
Text TextBetween(const Text& text, const Text& left, const Text& right, int start = 1,
                 bool ignoreCase = false);
// Trimmed text after / before the first ":", or "" when there is no colon.
Text TextAfterColon(const Text& text);
Text TextBeforeColon(const Text& text);

// Host of a URL in lower case ("http://" assumed without a scheme); with keepPort the
// ":port" written in the URL stays.
Text UrlHost(const Text& url, bool keepPort = false);
// Port written in the URL, else 443 for https and 80 otherwise.
int UrlPort(const Text& url);
// Path and query, always starting with "/".
Text UrlPath(const Text& url);

// Merges `fresh` cookies into `cookies`: fresh values replace old ones of the same name, items
// set to "deleted" disappear, repeats are dropped. Both arguments lose all their spaces; the
// merged text is written into `cookies` and returned.
Text MergeCookies(Text& cookies, Text& fresh);
// Name of one "name=value" item (the whole trimmed item when it has no "=").
Text CookieName(const Text& item);
bool ListHasCookieName(const TextArray& items, const Text& name);
// The text split at `separator` with repeated pieces removed, joined again.
Text JoinDistinct(const Text& text, const Text& separator);
// 1-based index of the first element equal to `text`, or -1.
int FindInList(const TextArray& list, const Text& text);

// The name=value parts of every "Set-Cookie" line of raw response headers (lines separated by
// CR LF, header names already normalised to "Set-Cookie"), joined by "; ".
Text ExtractSetCookies(const Text& rawHeaders);

// A query value as it goes into an address: the text as UTF-8, every byte but the unreserved
// ones (letters, digits, "-", ".", "_", "~") percent-encoded. Ids that are digits stay as
// they are; anything a page or answer smuggles in ("&", "/", "#") stays inside the value.
Text EncodeQueryValue(const Text& value);

// A web address as typed, made whole: trimmed; an address that starts with "http://" or
// "https://" (in any case) stays as it is; any other gets "https://" in front, except a
// loopback host ("localhost", 127.0.0.0/8), which gets "http://".
Text CompleteWebAddress(const Text& typed);

// True for a user id as the service gives it: 1 to 20 ASCII digits.
bool IsUserId(const Text& id);

// The address without trailing slashes: the services' paths are joined on with "/...".
Text WithoutTrailingSlash(const Text& address);
// The address (or path) without its query and fragment: everything from the first "?" or "#".
Text WithoutQueryAndFragment(const Text& address);
// "%20" and the like in a path segment back to the bytes they stand for, read as UTF-8.
Text DecodePercent(const Text& segment);
// The value of a header (its name in any case) of the last response in a raw header block
// (CR LF or LF separated lines, a status line starting each response); empty when absent.
Text HeaderValue(const Text& rawHeaders, std::string_view name);

// The scheme and host (with the port when one is written) of an address: "https://weibo.com".
Text UrlOrigin(const Text& url);

}  // namespace ovx
