#pragma once
// The recognizers of other servers' listing lines, one family of servers to a file; each
// takes a line only when every field it needs reads (OtherListings.h tries them in turn).

#include <optional>
#include <string_view>
#include <vector>

#include "listing/ListingParser.h"
#include "listing/OtherListingFields.h"

namespace pelmar::other_listings {

// UnixLikeListings.cpp: "ls -l" lines in layouts the Unix rule does not read, VShell's older
// layout, NetWare, Connect:Enterprise, EPLF, and the numeric layout of mode, owner ids, size and
// epoch.
std::optional<TParsedLine> UnixVariant(std::string_view line, const std::vector<TField>& f,
                                       const TDate& today);
std::optional<TParsedLine> VShell(std::string_view line, const std::vector<TField>& f);
std::optional<TParsedLine> NetWare(std::string_view line, const std::vector<TField>& f,
                                   const TDate& today);
std::optional<TParsedLine> ConnectEnterprise(std::string_view line, const std::vector<TField>& f,
                                             const TDate& today);
std::optional<TParsedLine> Eplf(std::string_view line);
std::optional<TParsedLine> NumericUnix(std::string_view line, const std::vector<TField>& f);

// DosListings.cpp: DOS and IIS lines the DOS rule does not read, and OS/2.
std::optional<TParsedLine> DosVariant(std::string_view line, const std::vector<TField>& f);
std::optional<TParsedLine> Os2(std::string_view line, const std::vector<TField>& f);

// VmsListings.cpp: VMS.
std::optional<TParsedLine> Vms(const std::vector<TField>& f);

// MainframeListings.cpp: AS/400, MVS datasets and PDS members, z/VM and HP NonStop.
std::optional<TParsedLine> As400(std::string_view line, const std::vector<TField>& f,
                                 const TDate& today);
std::optional<TParsedLine> MvsDataset(const std::vector<TField>& f);
std::optional<TParsedLine> MvsMember(const std::vector<TField>& f);
std::optional<TParsedLine> Zvm(const std::vector<TField>& f);
std::optional<TParsedLine> NonStop(const std::vector<TField>& f);

// EmbeddedListings.cpp: OS-9, VxWorks and Nortel wfFtp.
std::optional<TParsedLine> Os9(std::string_view line, const std::vector<TField>& f);
std::optional<TParsedLine> Embedded(std::string_view line, const std::vector<TField>& f);

}  // namespace pelmar::other_listings
