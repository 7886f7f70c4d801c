// The archive's register and certificates for a window that classifies:
// the rooms of the site register, and certificates numbered and kept in the
// archive.
#pragma once

#include <cstdint>
#include <string>

#include "classify/CertificateLayout.h"
#include "classify/Rooms.h"

namespace oront::archive {

// The register of the archive at `path` for the download of the
// instrument `serial` (empty when the archive has no register).
classify::ClassifySite ClassifySiteOf(const std::string& path, std::uint32_t serial);
// Certificates numbered and kept in the archive at `path`, starting from
// the register's organisation and the instrument `serial`.
classify::CertificateIssuer CertificateIssuerOf(const std::string& path, std::uint32_t serial);

}  // namespace oront::archive
