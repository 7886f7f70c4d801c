#include "site/RegisterJson.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <utility>

#include "classify/ClassifyText.h"
#include "records/CFormat.h"

namespace oront::site {
namespace {

using Json = nlohmann::ordered_json;

const char* StandardKey(classify::Standard s) {
    switch (s) {
        case classify::Standard::Iso2015:
            return "iso-2015";
        case classify::Standard::Iso1999:
            return "iso-1999";
        case classify::Standard::Gmp2022:
            return "gmp-2022";
    }
    return "";
}

const char* StateKey(classify::Occupancy s) {
    switch (s) {
        case classify::Occupancy::AsBuilt:
            return "as-built";
        case classify::Occupancy::AtRest:
            return "at-rest";
        case classify::Occupancy::Operational:
            return "operational";
    }
    return "";
}

// Tenths as the plain number a person writes: 7 for 70, 7.5 for 75.
Json Tenths(int tenths) {
    if (tenths % 10 == 0) return Json(tenths / 10);
    return Json(tenths / 10.0);
}

// A reader that knows where it is, for the error's path.
class Reader {
public:
    std::string error;

    bool Fail(const std::string& path, const std::string& why) {
        if (error.empty()) error = path + ": " + why;
        return false;
    }
    const Json* Member(const Json& object, const std::string& path, const char* key, bool required) {
        const auto it = object.find(key);
        if (it == object.end() || it->is_null()) {
            if (required) Fail(path, std::string("\"") + key + "\" is missing");
            return nullptr;
        }
        return &*it;
    }
    bool Object(const Json& value, const std::string& path) {
        return value.is_object() || Fail(path, "an object is expected");
    }
    bool Text(const Json& object, const std::string& path, const char* key, bool required, std::string& out) {
        const Json* v = Member(object, path, key, required);
        if (v == nullptr) return error.empty();
        if (!v->is_string()) return Fail(path + "." + key, "a string is expected");
        out = v->get<std::string>();
        return true;
    }
    bool Number(const Json& object, const std::string& path, const char* key, bool required, double& out) {
        const Json* v = Member(object, path, key, required);
        if (v == nullptr) return error.empty();
        if (!v->is_number()) return Fail(path + "." + key, "a number is expected");
        out = v->get<double>();
        return true;
    }
    bool Whole(const Json& object, const std::string& path, const char* key, bool required, long long low,
               long long high, long long& out) {
        double value = 0.0;
        if (!Number(object, path, key, required, value)) return false;
        if (object.find(key) == object.end() || object[key].is_null()) return true;
        if (value != std::floor(value) || value < static_cast<double>(low) || value > static_cast<double>(high))
            return Fail(path + "." + key,
                        "a whole number from " + std::to_string(low) + " to " + std::to_string(high) + " is expected");
        out = static_cast<long long>(value);
        return true;
    }
    bool TenthsOf(const Json& object, const std::string& path, const char* key, bool required, int& out) {
        double value = 0.0;
        if (!Number(object, path, key, required, value)) return false;
        if (object.find(key) == object.end() || object[key].is_null()) return true;
        const double tenths = std::round(value * 10.0);
        if (std::fabs(tenths - value * 10.0) > 1e-6 || tenths < 0 || tenths > 1000)
            return Fail(path + "." + key, "a number in steps of 0.1 is expected");
        out = static_cast<int>(tenths);
        return true;
    }
    bool Flag(const Json& object, const std::string& path, const char* key, bool& out) {
        const Json* v = Member(object, path, key, false);
        if (v == nullptr) return true;
        if (!v->is_boolean()) return Fail(path + "." + key, "true or false is expected");
        out = v->get<bool>();
        return true;
    }
    bool DayOf(const Json& object, const std::string& path, const char* key, bool required, std::optional<Day>& out) {
        std::string text;
        if (!Text(object, path, key, required, text)) return false;
        if (text.empty() && !required) return true;
        out = ParseDay(text);
        return out.has_value() ||
               Fail(path + "." + key, "a date YYYY-MM-DD the calendar has is expected (not " + text + ")");
    }
    template <class F>
    bool List(const Json& object, const std::string& path, const char* key, F each) {
        const Json* v = Member(object, path, key, false);
        if (v == nullptr) return true;
        if (!v->is_array()) return Fail(path.empty() ? key : path + "." + key, "a list is expected");
        for (std::size_t i = 0; i < v->size(); ++i) {
            const std::string at = (path.empty() ? std::string(key) : path + "." + key) + "[" + std::to_string(i) + "]";
            if (!Object((*v)[i], at) || !each((*v)[i], at)) return false;
        }
        return true;
    }
};

bool ReadState(Reader& in, const Json& j, const std::string& at, classify::Occupancy& out) {
    std::string state;
    if (!in.Text(j, at, "state", true, state)) return false;
    if (state == "as-built")
        out = classify::Occupancy::AsBuilt;
    else if (state == "at-rest")
        out = classify::Occupancy::AtRest;
    else if (state == "operational")
        out = classify::Occupancy::Operational;
    else
        return in.Fail(at + ".state", "as-built, at-rest or operational is expected (not " + state + ")");
    return true;
}

bool ReadLocation(Reader& in, const Json& j, const std::string& at, Location& loc) {
    long long number = 0;
    return in.Whole(j, at, "number", true, 0, 255, number) && ((loc.number = static_cast<int>(number)), true) &&
           in.Text(j, at, "name", false, loc.name) && in.Number(j, at, "x_m", false, loc.xM) &&
           in.Number(j, at, "y_m", false, loc.yM) && in.Flag(j, at, "critical", loc.critical) &&
           in.DayOf(j, at, "from", false, loc.from) && in.DayOf(j, at, "to", false, loc.to);
}

bool ReadLimit(Reader& in, const Json& j, const std::string& at, Limit& limit) {
    long long location = -1;
    if (!in.TenthsOf(j, at, "size_um", true, limit.sizeTenths) ||
        !in.Number(j, at, "alert_per_m3", true, limit.alertPerM3) ||
        !in.Number(j, at, "action_per_m3", true, limit.actionPerM3) ||
        !in.Whole(j, at, "location", false, 0, 255, location))
        return false;
    if (location >= 0) limit.location = static_cast<int>(location);
    return true;
}

bool ReadRoom(Reader& in, const Json& j, const std::string& at, Room& room) {
    std::string standard, grade;
    long long run = 3;
    if (!in.Text(j, at, "id", true, room.id) || !in.Text(j, at, "name", false, room.name) ||
        !in.Number(j, at, "area_m2", true, room.areaM2) || !in.Text(j, at, "standard", true, standard))
        return false;
    if (standard == "iso-2015")
        room.standard = classify::Standard::Iso2015;
    else if (standard == "iso-1999")
        room.standard = classify::Standard::Iso1999;
    else if (standard == "gmp-2022")
        room.standard = classify::Standard::Gmp2022;
    else
        return in.Fail(at + ".standard", "iso-2015, iso-1999 or gmp-2022 is expected (not " + standard + ")");
    if (room.standard == classify::Standard::Gmp2022) {
        if (!in.Text(j, at, "grade", true, grade)) return false;
        if (grade.size() != 1 || grade[0] < 'A' || grade[0] > 'D')
            return in.Fail(at + ".grade", "A, B, C or D is expected (not " + grade + ")");
        room.grade = grade[0];
    } else if (!in.TenthsOf(j, at, "class", true, room.classTenths)) {
        return false;
    }
    if (!ReadState(in, j, at, room.state)) return false;
    if (!in.Text(j, at, "notes", false, room.notes) || !in.Whole(j, at, "adverse_run", false, 2, 100, run))
        return false;
    room.adverseRun = static_cast<int>(run);
    return in.List(j, at, "locations", [&](const Json& item, const std::string& path) {
        return ReadLocation(in, item, path, room.locations.emplace_back());
    }) && in.List(j, at, "limits", [&](const Json& item, const std::string& path) {
        return ReadLimit(in, item, path, room.limits.emplace_back());
    });
}

bool ReadInstrument(Reader& in, const Json& j, const std::string& at, Instrument& ins) {
    long long serial = 0;
    std::optional<Day> on, due;
    if (!in.Whole(j, at, "serial", true, 0, 4294967295LL, serial) || !in.Text(j, at, "model", false, ins.model) ||
        !in.DayOf(j, at, "calibrated_on", true, on) || !in.DayOf(j, at, "calibration_due", true, due) ||
        !in.Text(j, at, "certificate", false, ins.certificate) ||
        !in.Number(j, at, "flow_l_per_min", false, ins.flowLPerMin))
        return false;
    ins.serial = static_cast<std::uint32_t>(serial);
    ins.calibratedOn = *on;
    ins.calibrationDue = *due;
    return true;
}

bool ReadDownloadState(Reader& in, const Json& j, const std::string& at, DownloadState& d) {
    long long id = 0;
    if (!in.Whole(j, at, "download", true, 1, 9007199254740991LL, id)) return false;
    d.download = id;
    return ReadState(in, j, at, d.state);
}

}  // namespace

std::string RegisterJson(const Register& reg) {
    Json root = Json::object();
    root["organisation"] = {{"name", reg.organisation.name}, {"address", reg.organisation.address}};
    Json rooms = Json::array();
    for (const Room& room : reg.rooms) {
        Json r = Json::object();
        r["id"] = room.id;
        r["name"] = room.name;
        r["area_m2"] = room.areaM2;
        r["standard"] = StandardKey(room.standard);
        if (room.standard == classify::Standard::Gmp2022)
            r["grade"] = std::string(1, room.grade);
        else
            r["class"] = Tenths(room.classTenths);
        r["state"] = StateKey(room.state);
        r["notes"] = room.notes;
        r["adverse_run"] = room.adverseRun;
        Json locations = Json::array();
        for (const Location& loc : room.locations) {
            Json l = {{"number", loc.number},
                      {"name", loc.name},
                      {"x_m", loc.xM},
                      {"y_m", loc.yM},
                      {"critical", loc.critical}};
            if (loc.from) l["from"] = DayText(*loc.from);
            if (loc.to) l["to"] = DayText(*loc.to);
            locations.push_back(std::move(l));
        }
        r["locations"] = std::move(locations);
        Json limits = Json::array();
        for (const Limit& limit : room.limits) {
            Json l = {{"size_um", Tenths(limit.sizeTenths)},
                      {"alert_per_m3", limit.alertPerM3},
                      {"action_per_m3", limit.actionPerM3}};
            if (limit.location) l["location"] = *limit.location;
            limits.push_back(std::move(l));
        }
        r["limits"] = std::move(limits);
        rooms.push_back(std::move(r));
    }
    root["rooms"] = std::move(rooms);
    Json instruments = Json::array();
    for (const Instrument& ins : reg.instruments) {
        instruments.push_back({{"serial", ins.serial},
                               {"model", ins.model},
                               {"calibrated_on", DayText(ins.calibratedOn)},
                               {"calibration_due", DayText(ins.calibrationDue)},
                               {"certificate", ins.certificate},
                               {"flow_l_per_min", ins.flowLPerMin}});
    }
    root["instruments"] = std::move(instruments);
    // Only a register that declares download states has the list, so that
    // the files of registers without them stay as they were.
    if (!reg.downloads.empty()) {
        Json downloads = Json::array();
        for (const DownloadState& d : reg.downloads)
            downloads.push_back({{"download", d.download}, {"state", StateKey(d.state)}});
        root["downloads"] = std::move(downloads);
    }
    return root.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

namespace {

// A value per m³ with its thousands grouped ("3,520"), or with one decimal
// below 10.
std::string PerM3(double value) {
    if (value < 10.0) return classify::FormatDecimal(value, 1);
    const std::string digits = std::to_string(std::llround(value));
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

// Metres with as many of two decimals as they need: "1.2 m", "4 m".
std::string Metres(double value) {
    std::string text = classify::FormatDecimal(value, 2);
    while (text.size() > 1 && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text + " m";
}

}  // namespace

std::string RegisterText(const Register& reg) {
    if (reg.Empty()) return "No site register is kept.\n";
    std::string out;
    if (!reg.organisation.name.empty() || !reg.organisation.address.empty())
        out += "Organisation: " + reg.organisation.name +
               (reg.organisation.address.empty() ? "" : ", " + reg.organisation.address) + "\n";
    for (const Room& room : reg.rooms) {
        const bool gmp = room.standard == classify::Standard::Gmp2022;
        out += "Room " + room.id + (room.name.empty() ? "" : " " + room.name) + ": " +
               classify::FormatDecimal(room.areaM2, room.areaM2 == std::floor(room.areaM2) ? 0 : 2) + " m², " +
               (gmp ? std::string("EU GMP grade ") + room.grade
                    : std::string(room.standard == classify::Standard::Iso1999 ? "ISO 14644-1:1999 " : "") +
                          classify::ClassText(room.classTenths)) +
               ", " + StateKey(room.state) + ", adverse trend after " + std::to_string(room.adverseRun) + " records\n";
        if (!room.notes.empty()) out += "  notes: " + room.notes + "\n";
        for (const Location& loc : room.locations) {
            out += "  location " + FormatZeroPad(loc.number, 3).str() + (loc.name.empty() ? "" : " " + loc.name) +
                   " (" + Metres(loc.xM) + ", " + Metres(loc.yM) + ")" + (loc.critical ? ", critical" : "");
            if (loc.from) out += ", from " + DayText(*loc.from);
            if (loc.to) out += ", to " + DayText(*loc.to);
            out += "\n";
        }
        for (const Limit& limit : room.limits) {
            out += "  limit " + classify::SizeText(limit.sizeTenths) +
                   (limit.location ? " at location " + FormatZeroPad(*limit.location, 3).str() : std::string()) +
                   ": alert " + PerM3(limit.alertPerM3) + ", action " + PerM3(limit.actionPerM3) + " per m³\n";
        }
    }
    for (const Instrument& ins : reg.instruments) {
        out += "Instrument " + std::to_string(ins.serial) + (ins.model.empty() ? "" : " " + ins.model) +
               ": calibrated " + DayText(ins.calibratedOn) + ", due " + DayText(ins.calibrationDue) +
               (ins.certificate.empty() ? "" : ", certificate " + ins.certificate) + ", " +
               classify::FormatDecimal(ins.flowLPerMin, 2) + " L/min\n";
    }
    for (const DownloadState& d : reg.downloads)
        out += "Download " + std::to_string(d.download) + ": measured " + StateKey(d.state) + "\n";
    return out;
}

bool ParseRegisterJson(std::string_view text, Register& reg, std::string& error) {
    Json root;
    try {
        root = Json::parse(text.begin(), text.end());
    } catch (const Json::exception& e) {
        error = std::string("not a JSON file (") + e.what() + ")";
        return false;
    }
    Reader in;
    Register read;
    const auto fail = [&] {
        error = in.error;
        return false;
    };
    if (!in.Object(root, "the file")) return fail();
    if (const Json* org = in.Member(root, "", "organisation", false)) {
        if (!in.Object(*org, "organisation") || !in.Text(*org, "organisation", "name", false, read.organisation.name) ||
            !in.Text(*org, "organisation", "address", false, read.organisation.address))
            return fail();
    }
    if (!in.List(
            root, "", "rooms",
            [&](const Json& j, const std::string& at) { return ReadRoom(in, j, at, read.rooms.emplace_back()); }) ||
        !in.List(root, "", "instruments",
                 [&](const Json& j, const std::string& at) {
                     return ReadInstrument(in, j, at, read.instruments.emplace_back());
                 }) ||
        !in.List(root, "", "downloads", [&](const Json& j, const std::string& at) {
            return ReadDownloadState(in, j, at, read.downloads.emplace_back());
        }))
        return fail();
    if (std::string rule = ValidationError(read); !rule.empty()) {
        error = std::move(rule);
        return false;
    }
    reg = std::move(read);
    return true;
}

}  // namespace oront::site
