#include "archive/ArchiveClassify.h"

#include <ctime>
#include <memory>

#include "archive/Archive.h"
#include "base/Messages.h"
#include "site/RoomFinder.h"

namespace oront::archive {
namespace {

site::Register RegisterOf(const std::string& path) {
    Archive reader;
    std::string error;
    site::Register reg;
    if (!reader.Open(path, OpenMode::ReadOnly, error) || !reader.LoadRegister(reg, error)) return {};
    return reg;
}

}  // namespace

classify::ClassifySite ClassifySiteOf(const std::string& path, std::uint32_t serial) {
    classify::ClassifySite out;
    const auto reg = std::make_shared<const site::Register>(RegisterOf(path));
    if (const site::Instrument* ins = site::InstrumentOf(*reg, serial)) out.calibrationDue = ins->calibrationDue;
    if (reg->rooms.empty()) return out;
    for (const site::Room& room : reg->rooms) {
        classify::Settings s;
        s.standard = room.standard;
        s.target.classTenths = room.classTenths;
        s.target.grade = room.grade;
        s.target.state = room.state;
        s.target.stateDeclared = true;
        s.areaM2 = room.areaM2;
        out.rooms.push_back({room.id, room.name, s});
    }
    out.finder = [reg](const classify::Settings& user, bool roomSettings) {
        const site::GivenSettings given{!roomSettings, !roomSettings, !roomSettings, !roomSettings};
        classify::RoomFinder finder = site::RegisterRooms(*reg, user, given);
        // The finder's functions keep the register they read.
        finder.room = [reg, room = finder.room](int location, int day) { return room(location, day); };
        finder.place = [reg, place = finder.place](int location, int day) { return place(location, day); };
        return finder;
    };
    return out;
}

classify::CertificateIssuer CertificateIssuerOf(const std::string& path, std::uint32_t serial) {
    classify::CertificateIssuer out;
    const site::Register reg = RegisterOf(path);
    classify::CertificateData& data = out.data;
    data.organisation = reg.organisation.name;
    data.address = reg.organisation.address;
    data.program = std::string("Oront V208 Software ") + kProgramVersion;
    data.instrument.serial = serial;
    if (const site::Instrument* ins = site::InstrumentOf(reg, serial)) {
        data.instrument.registered = true;
        if (!ins->model.empty()) data.instrument.model = ins->model;
        data.instrument.calibratedOn = site::DayText(ins->calibratedOn);
        data.instrument.calibrationDue = site::DayText(ins->calibrationDue);
        data.instrument.certificate = ins->certificate;
        data.instrument.flowLPerMin = ins->flowLPerMin;
    }
    out.number = [path](classify::CertificateData& d, std::int64_t& id, std::string& error) {
        Archive a;
        CertificateRecord reserved;
        if (!a.Open(path, OpenMode::ReadWrite, error) ||
            !a.ReserveCertificate(d.reportNumber, static_cast<std::int64_t>(std::time(nullptr)), reserved, error))
            return false;
        d.reportNumber = reserved.number;
        id = reserved.id;
        return true;
    };
    out.keep = [path](std::int64_t id, const std::string& dataText, const std::string& file, std::string& error) {
        Archive a;
        return a.Open(path, OpenMode::ReadWrite, error) && a.CompleteCertificate(id, dataText, file, error);
    };
    out.sha256 = [](const std::string& bytes) { return Sha256Hex(bytes); };
    return out;
}

}  // namespace oront::archive
