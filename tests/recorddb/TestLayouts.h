#pragma once
// The two protocols' record layouts, for the record store's tests.

#include "catalogue/albumservice/AlbumServiceProtocol.h"
#include "catalogue/webapi/WebProtocol.h"

namespace ovx::testing {

inline const RecordLayout& AlbumRecords() {
    return AlbumServiceProtocol::RecordsLayout();
}
inline const RecordLayout& WebRecords() {
    return WebProtocol::RecordsLayout();
}
inline std::vector<const RecordLayout*> BothLayouts() {
    return {&AlbumRecords(), &WebRecords()};
}

}  // namespace ovx::testing
