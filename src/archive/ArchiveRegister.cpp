// The site register in the archive, and what monitoring finds among the
// archived records: the excursions and adverse trends, kept in tables of
// their own and judged again whenever the register or the records change.
#include <algorithm>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <utility>

#include "archive/Archive.h"
#include "archive/RunFinder.h"
#include "archive/SqliteStatement.h"
#include "site/Monitoring.h"
#include "site/RegisterJson.h"

namespace oront::archive {
namespace {

void BindText(Statement& st, int i, const std::string& text) {
    sqlite3_bind_text(st.get(), i, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void BindReal(Statement& st, int i, double value) {
    sqlite3_bind_double(st.get(), i, value);
}

void BindOptional(Statement& st, int i, const std::optional<int>& value) {
    if (value)
        st.Bind(i, *value);
    else
        sqlite3_bind_null(st.get(), i);
}

double Real(const Statement& st, int i) {
    return sqlite3_column_double(st.get(), i);
}

std::optional<int> OptionalInt(const Statement& st, int i) {
    if (st.IsNull(i)) return std::nullopt;
    return static_cast<int>(st.Int(i));
}

}  // namespace

bool Archive::CheckStructure(std::string& what, std::string& cause) {
    Statement check(m_db, "PRAGMA quick_check(3)");
    if (!check.ok()) {
        what = "cannot check the archive";
        cause = check.Cause();
        return false;
    }
    std::vector<std::string> findings;
    int rc;
    while ((rc = check.Step()) == SQLITE_ROW) findings.push_back(check.Text(0));
    what = "the archive is damaged and was left as it is; 'oront-v208-cli verify-archive' lists the damage";
    if (rc != SQLITE_DONE) {
        cause = check.Cause();
        return false;
    }
    if (findings.size() == 1 && findings[0] == "ok") return true;
    cause.clear();
    for (const std::string& f : findings) cause += (cause.empty() ? "" : "; ") + f;
    return false;
}

bool Archive::LoadRegister(site::Register& reg, std::string& error) {
    reg = site::Register{};
    if (m_db == nullptr || m_version < 3) return true;
    const auto failed = [&](const Statement& st) {
        error = Reason("cannot read the site register", st.Cause());
        return false;
    };
    {
        Statement st(m_db, "SELECT name, address FROM organisation");
        if (!st.ok()) return failed(st);
        const int rc = st.Step();
        if (rc == SQLITE_ROW) reg.organisation = {st.Text(0), st.Text(1)};
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) return failed(st);
    }
    std::vector<std::int64_t> positions;
    {
        Statement st(m_db,
                     "SELECT position, id, name, area_m2, standard, class_tenths, grade, state, notes, adverse_run"
                     " FROM rooms ORDER BY position");
        if (!st.ok()) return failed(st);
        int rc;
        while ((rc = st.Step()) == SQLITE_ROW) {
            site::Room& room = reg.rooms.emplace_back();
            positions.push_back(st.Int(0));
            room.id = st.Text(1);
            room.name = st.Text(2);
            room.areaM2 = Real(st, 3);
            room.standard = static_cast<classify::Standard>(std::clamp<std::int64_t>(st.Int(4), 0, 2));
            room.classTenths = static_cast<int>(st.Int(5));
            const std::string grade = st.Text(6);
            room.grade = grade.empty() ? 0 : grade[0];
            room.state = static_cast<classify::Occupancy>(std::clamp<std::int64_t>(st.Int(7), 0, 2));
            room.notes = st.Text(8);
            room.adverseRun = static_cast<int>(st.Int(9));
        }
        if (rc != SQLITE_DONE) return failed(st);
    }
    Statement locations(m_db,
                        "SELECT number, name, x_m, y_m, critical, valid_from, valid_to FROM locations"
                        " WHERE room = ?1 ORDER BY position");
    Statement limits(m_db, "SELECT size_tenths, alert, action, location FROM limits WHERE room = ?1 ORDER BY position");
    if (!locations.ok()) return failed(locations);
    if (!limits.ok()) return failed(limits);
    for (std::size_t r = 0; r < reg.rooms.size(); ++r) {
        site::Room& room = reg.rooms[r];
        locations.Bind(1, positions[r]);
        int rc;
        while ((rc = locations.Step()) == SQLITE_ROW) {
            site::Location& loc = room.locations.emplace_back();
            loc.number = static_cast<int>(locations.Int(0));
            loc.name = locations.Text(1);
            loc.xM = Real(locations, 2);
            loc.yM = Real(locations, 3);
            loc.critical = locations.Int(4) != 0;
            loc.from = OptionalInt(locations, 5);
            loc.to = OptionalInt(locations, 6);
        }
        if (rc != SQLITE_DONE) return failed(locations);
        locations.Reset();
        limits.Bind(1, positions[r]);
        while ((rc = limits.Step()) == SQLITE_ROW) {
            site::Limit& limit = room.limits.emplace_back();
            limit.sizeTenths = static_cast<int>(limits.Int(0));
            limit.alertPerM3 = Real(limits, 1);
            limit.actionPerM3 = Real(limits, 2);
            limit.location = OptionalInt(limits, 3);
        }
        if (rc != SQLITE_DONE) return failed(limits);
        limits.Reset();
    }
    Statement instruments(m_db,
                          "SELECT serial, model, calibrated_on, calibration_due, certificate, flow FROM instruments"
                          " ORDER BY position");
    if (!instruments.ok()) return failed(instruments);
    int rc;
    while ((rc = instruments.Step()) == SQLITE_ROW) {
        site::Instrument& ins = reg.instruments.emplace_back();
        ins.serial = static_cast<std::uint32_t>(instruments.Int(0));
        ins.model = instruments.Text(1);
        ins.calibratedOn = static_cast<site::Day>(instruments.Int(2));
        ins.calibrationDue = static_cast<site::Day>(instruments.Int(3));
        ins.certificate = instruments.Text(4);
        ins.flowLPerMin = Real(instruments, 5);
    }
    if (rc != SQLITE_DONE) return failed(instruments);
    if (m_version < 4) return true;
    Statement downloads(m_db, "SELECT download, state FROM download_states ORDER BY position");
    if (!downloads.ok()) return failed(downloads);
    while ((rc = downloads.Step()) == SQLITE_ROW)
        reg.downloads.push_back({downloads.Int(0), static_cast<classify::Occupancy>(downloads.Int(1))});
    if (rc != SQLITE_DONE) return failed(downloads);
    return true;
}

bool Archive::StoreRegister(const site::Register& reg, std::string& error, const std::string& reason) {
    if (m_db == nullptr) {
        error = "the archive is not open";
        return false;
    }
    if (std::string rule = site::ValidationError(reg); !rule.empty()) {
        error = "the register is refused: " + rule;
        return false;
    }
    std::string cause;
    if (!Exec(m_db, "BEGIN IMMEDIATE", &cause)) {
        error = Reason("cannot write to the archive", cause);
        return false;
    }
    const auto fail = [&](const std::string& what, const std::string& why) {
        error = why.empty() ? what : Reason(what, why);
        Exec(m_db, "ROLLBACK");
        return false;
    };
    site::Register before;
    {
        std::string what;
        if (!CheckStructure(what, cause)) return fail(what, cause);
        m_refused = false;
        if (!Admit(audit::Action::EditRegister, what, cause)) return fail(what, cause);
        if (!LoadRegister(before, cause)) return fail("cannot read the site register", cause);
    }
    if (!Exec(m_db,
              "DELETE FROM organisation; DELETE FROM rooms; DELETE FROM locations; DELETE FROM limits;"
              " DELETE FROM instruments; DELETE FROM download_states; DELETE FROM excursions;"
              " DELETE FROM adverse_trends",
              &cause))
        return fail("cannot write the site register", cause);
    Statement org(m_db, "INSERT INTO organisation(name, address) VALUES(?1, ?2)");
    Statement room(m_db,
                   "INSERT INTO rooms(position, id, name, area_m2, standard, class_tenths, grade, state, notes,"
                   " adverse_run) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    Statement location(m_db,
                       "INSERT INTO locations(room, position, number, name, x_m, y_m, critical, valid_from, valid_to)"
                       " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    Statement limit(m_db,
                    "INSERT INTO limits(room, position, size_tenths, alert, action, location)"
                    " VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    Statement instrument(m_db,
                         "INSERT INTO instruments(position, serial, model, calibrated_on, calibration_due,"
                         " certificate, flow) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    Statement downloadState(m_db, "INSERT INTO download_states(position, download, state) VALUES(?1, ?2, ?3)");
    for (Statement* st : {&org, &room, &location, &limit, &instrument, &downloadState})
        if (!st->ok()) return fail("cannot write the site register", st->Cause());
    const auto step = [&](Statement& st) {
        const bool ok = st.Step() == SQLITE_DONE;
        if (!ok) cause = st.Cause();
        st.Reset();
        return ok;
    };
    BindText(org, 1, reg.organisation.name);
    BindText(org, 2, reg.organisation.address);
    if (!step(org)) return fail("cannot write the site register", cause);
    for (std::size_t r = 0; r < reg.rooms.size(); ++r) {
        const site::Room& ro = reg.rooms[r];
        const auto position = static_cast<std::int64_t>(r);
        room.Bind(1, position);
        BindText(room, 2, ro.id);
        BindText(room, 3, ro.name);
        BindReal(room, 4, ro.areaM2);
        room.Bind(5, static_cast<std::int64_t>(ro.standard));
        room.Bind(6, ro.classTenths);
        BindText(room, 7, ro.grade == 0 ? std::string() : std::string(1, ro.grade));
        room.Bind(8, static_cast<std::int64_t>(ro.state));
        BindText(room, 9, ro.notes);
        room.Bind(10, ro.adverseRun);
        if (!step(room)) return fail("cannot write the site register", cause);
        for (std::size_t l = 0; l < ro.locations.size(); ++l) {
            const site::Location& loc = ro.locations[l];
            location.Bind(1, position);
            location.Bind(2, static_cast<std::int64_t>(l));
            location.Bind(3, loc.number);
            BindText(location, 4, loc.name);
            BindReal(location, 5, loc.xM);
            BindReal(location, 6, loc.yM);
            location.Bind(7, loc.critical ? 1 : 0);
            BindOptional(location, 8, loc.from);
            BindOptional(location, 9, loc.to);
            if (!step(location)) return fail("cannot write the site register", cause);
        }
        for (std::size_t k = 0; k < ro.limits.size(); ++k) {
            const site::Limit& li = ro.limits[k];
            limit.Bind(1, position);
            limit.Bind(2, static_cast<std::int64_t>(k));
            limit.Bind(3, li.sizeTenths);
            BindReal(limit, 4, li.alertPerM3);
            BindReal(limit, 5, li.actionPerM3);
            BindOptional(limit, 6, li.location);
            if (!step(limit)) return fail("cannot write the site register", cause);
        }
    }
    for (std::size_t i = 0; i < reg.instruments.size(); ++i) {
        const site::Instrument& ins = reg.instruments[i];
        instrument.Bind(1, static_cast<std::int64_t>(i));
        instrument.Bind(2, ins.serial);
        BindText(instrument, 3, ins.model);
        instrument.Bind(4, ins.calibratedOn);
        instrument.Bind(5, ins.calibrationDue);
        BindText(instrument, 6, ins.certificate);
        BindReal(instrument, 7, ins.flowLPerMin);
        if (!step(instrument)) return fail("cannot write the site register", cause);
    }
    for (std::size_t i = 0; i < reg.downloads.size(); ++i) {
        downloadState.Bind(1, static_cast<std::int64_t>(i));
        downloadState.Bind(2, reg.downloads[i].download);
        downloadState.Bind(3, static_cast<std::int64_t>(reg.downloads[i].state));
        if (!step(downloadState)) return fail("cannot write the site register", cause);
    }
    // Every archived record against the new register.
    if (!reg.Empty() && !JudgeRecords(reg, {}, cause)) return fail("cannot judge the archived records", cause);
    // The change, with the register before and after it.
    const std::string data = nlohmann::json{{"new", nlohmann::json::parse(site::RegisterJson(reg))},
                                            {"old", nlohmann::json::parse(site::RegisterJson(before))}}
                                 .dump();
    std::int64_t seq = 0;
    if (!Append("register changed", data, reason, seq, cause)) return fail("cannot write the audit trail", cause);
    if (!Exec(m_db, "COMMIT", &cause)) return fail("cannot write to the archive", cause);
    return true;
}

bool Archive::JudgeRecords(const site::Register& reg, const std::vector<std::pair<int, std::int64_t>>& numbers,
                           std::string& cause) {
    std::vector<std::pair<int, std::int64_t>> all = numbers;
    if (all.empty()) {
        std::string error;
        std::vector<int> locations;
        if (!Locations(locations, error)) {
            cause = error;
            return false;
        }
        for (const int number : locations) all.emplace_back(number, -1);
    }
    Statement back(m_db,
                   "SELECT id, time, frame FROM records WHERE location = ?1 AND (time, id) < (?2, ?3)"
                   " ORDER BY time DESC, id DESC LIMIT 64");
    Statement forward(m_db,
                      "SELECT id, time, frame FROM records WHERE location = ?1 AND (time, id) > (?2, ?3)"
                      " ORDER BY time, id");
    Statement dropTrends(m_db, "DELETE FROM adverse_trends WHERE location = ?1 AND last_time >= ?2");
    Statement excursion(m_db,
                        "INSERT OR REPLACE INTO excursions(record, size_tenths, time, room, location, per_m3,"
                        " limit_per_m3, level) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    Statement trend(m_db,
                    "INSERT INTO adverse_trends(room, location, size_tenths, first_time, last_time, records)"
                    " VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    for (const Statement* st : {&back, &forward, &dropTrends, &excursion, &trend}) {
        if (!st->ok()) {
            cause = st->Cause();
            return false;
        }
    }
    const site::PlaceFinder finder(reg);
    const auto frameOf = [](const Statement& st, Frame& frame) {
        frame.fill(0);
        const auto [data, size] = st.Blob(2);
        if (size > 0) std::memcpy(frame.data(), data, std::min(size, frame.size()));
    };
    Frame frame;
    for (const auto& [number, sinceTime] : all) {
        // From the last record before `sinceTime` that is above no alert
        // limit: no run can reach across it, so the runs from there on are
        // found whole.
        std::int64_t startTime = -1;
        std::int64_t startId = 0;
        if (sinceTime >= 0) {
            std::int64_t time = sinceTime;
            std::int64_t id = 0;
            bool found = false;
            while (!found) {
                back.Bind(1, number);
                back.Bind(2, time);
                back.Bind(3, id);
                int rc;
                int rows = 0;
                while (!found && (rc = back.Step()) == SQLITE_ROW) {
                    ++rows;
                    id = back.Int(0);
                    time = back.Int(1);
                    frameOf(back, frame);
                    const site::Place place = finder.At(number, site::FrameDay(frame));
                    if (site::WorstLevel(site::Judge(frame, finder.LimitsOf(place))) == site::Level::None) {
                        found = true;
                        startTime = time;
                        startId = id;
                    }
                }
                if (!found && rc != SQLITE_DONE) {
                    cause = back.Cause();
                    return false;
                }
                back.Reset();
                if (rows < 64) break;  // the location's first record reached: from the start
            }
        }
        // The runs from there on are found again; the excursions of the
        // records judged again replace theirs (the register is the same, or
        // its excursions were all dropped before).
        dropTrends.Bind(1, number);
        dropTrends.Bind(2, startTime < 0 ? 0 : startTime);
        const bool dropped = dropTrends.Step() == SQLITE_DONE;
        if (!dropped) cause = dropTrends.Cause();
        dropTrends.Reset();
        if (!dropped) return false;
        RunFinder runs([&](const AdverseTrendRow& t) {
            BindText(trend, 1, t.room);
            trend.Bind(2, t.location);
            trend.Bind(3, t.sizeTenths);
            trend.Bind(4, t.firstTime);
            trend.Bind(5, t.lastTime);
            trend.Bind(6, t.records);
            const bool ok = trend.Step() == SQLITE_DONE;
            if (!ok) cause = trend.Cause();
            trend.Reset();
            return ok;
        });
        forward.Bind(1, number);
        forward.Bind(2, startTime);
        forward.Bind(3, startId);
        int rc;
        while ((rc = forward.Step()) == SQLITE_ROW) {
            const std::int64_t id = forward.Int(0);
            const std::int64_t time = forward.Int(1);
            frameOf(forward, frame);
            const site::Place place = finder.At(number, site::FrameDay(frame));
            const std::vector<site::Limit>& limits = finder.LimitsOf(place);
            if (!runs.Add(place, limits, frame, time)) return false;
            for (const site::Excursion& e : site::Judge(frame, limits)) {
                excursion.Bind(1, id);
                excursion.Bind(2, e.sizeTenths);
                excursion.Bind(3, time);
                BindText(excursion, 4, place.room->id);
                excursion.Bind(5, number);
                BindReal(excursion, 6, e.perM3);
                BindReal(excursion, 7, e.limitPerM3);
                excursion.Bind(8, static_cast<std::int64_t>(e.level));
                const bool ok = excursion.Step() == SQLITE_DONE;
                if (!ok) cause = excursion.Cause();
                excursion.Reset();
                if (!ok) return false;
            }
        }
        if (rc != SQLITE_DONE) {
            cause = forward.Cause();
            return false;
        }
        forward.Reset();
        if (!runs.FlushAll()) return false;
    }
    return true;
}

bool Archive::MonitorNewRecords(const site::Register& reg, const std::vector<NewRecord>& records,
                                std::int64_t latestBefore, std::int64_t download, std::string& cause) {
    Statement excursion(m_db,
                        "INSERT OR REPLACE INTO excursions(record, size_tenths, time, room, location, per_m3,"
                        " limit_per_m3, level) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    Statement latest(m_db,
                     "SELECT time FROM records WHERE location = ?1 AND first_download < ?2"
                     " ORDER BY time DESC, id DESC LIMIT 1");
    for (const Statement* st : {&excursion, &latest}) {
        if (!st->ok()) {
            cause = st->Cause();
            return false;
        }
    }
    struct Arrived {
        std::int64_t earliest = 0;
        bool above = false;
    };
    std::map<int, Arrived> numbers;
    const site::PlaceFinder finder(reg);
    for (const NewRecord& r : records) {
        const int number = r.frame[1];
        const site::Place place = finder.At(number, site::FrameDay(r.frame));
        const std::vector<site::Excursion> found = site::Judge(r.frame, finder.LimitsOf(place));
        auto [at, first] = numbers.emplace(number, Arrived{r.time, false});
        at->second.earliest = std::min(at->second.earliest, r.time);
        at->second.above = at->second.above || !found.empty();
        for (const site::Excursion& e : found) {
            excursion.Bind(1, r.id);
            excursion.Bind(2, e.sizeTenths);
            excursion.Bind(3, r.time);
            BindText(excursion, 4, place.room->id);
            excursion.Bind(5, number);
            BindReal(excursion, 6, e.perM3);
            BindReal(excursion, 7, e.limitPerM3);
            excursion.Bind(8, static_cast<std::int64_t>(e.level));
            const bool ok = excursion.Step() == SQLITE_DONE;
            if (!ok) cause = excursion.Cause();
            excursion.Reset();
            if (!ok) return false;
        }
    }
    // A run changes where a new record is above an alert limit (it starts
    // or grows one), or where new records arrived among older ones (one may
    // split a run); records that only follow the older ones below every
    // limit change none. Records later than every older record, as a
    // download's usually are, arrived among none.
    std::vector<std::pair<int, std::int64_t>> again;
    for (const auto& [number, arrived] : numbers) {
        bool changes = arrived.above;
        if (!changes && arrived.earliest <= latestBefore) {
            latest.Bind(1, number);
            latest.Bind(2, download);
            const int rc = latest.Step();
            if (rc == SQLITE_ROW) changes = latest.Int(0) > arrived.earliest;
            if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
                cause = latest.Cause();
                return false;
            }
            latest.Reset();
        }
        if (changes) again.emplace_back(number, arrived.earliest);
    }
    return again.empty() || JudgeRecords(reg, again, cause);
}

bool Archive::Excursions(const ExcursionFilter& filter, std::vector<ExcursionRow>& excursions,
                         std::vector<AdverseTrendRow>& trends, std::string& error) {
    excursions.clear();
    trends.clear();
    if (m_db == nullptr || m_version < 3) return true;
    std::string sql =
        "SELECT record, time, room, location, size_tenths, per_m3, limit_per_m3, level FROM excursions"
        " WHERE level >= ?1";
    if (filter.room) sql += " AND room = ?2";
    if (filter.from) sql += " AND time >= ?3";
    if (filter.to) sql += " AND time <= ?4";
    sql += " ORDER BY time, record, size_tenths";
    Statement st(m_db, sql.c_str());
    std::string trendSql =
        "SELECT room, location, size_tenths, first_time, last_time, records FROM adverse_trends WHERE 1";
    if (filter.room) trendSql += " AND room = ?2";
    if (filter.from) trendSql += " AND last_time >= ?3";
    if (filter.to) trendSql += " AND first_time <= ?4";
    trendSql += " ORDER BY first_time, room, location, size_tenths";
    Statement tr(m_db, trendSql.c_str());
    for (Statement* s : {&st, &tr}) {
        if (!s->ok()) {
            error = Reason("cannot read the excursions", s->Cause());
            return false;
        }
        if (s == &st) s->Bind(1, static_cast<std::int64_t>(filter.lowest));
        if (filter.room) BindText(*s, 2, *filter.room);
        if (filter.from) s->Bind(3, *filter.from);
        if (filter.to) s->Bind(4, *filter.to);
    }
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW) {
        ExcursionRow& e = excursions.emplace_back();
        e.record = st.Int(0);
        e.time = st.Int(1);
        e.room = st.Text(2);
        e.location = static_cast<int>(st.Int(3));
        e.sizeTenths = static_cast<int>(st.Int(4));
        e.perM3 = Real(st, 5);
        e.limitPerM3 = Real(st, 6);
        e.level = static_cast<site::Level>(std::clamp<std::int64_t>(st.Int(7), 0, 2));
    }
    if (rc != SQLITE_DONE) {
        error = Reason("cannot read the excursions", st.Cause());
        return false;
    }
    // Adverse trends are runs above the alert limit: listed unless only
    // action excursions are asked for.
    if (filter.lowest == site::Level::Action) return true;
    while ((rc = tr.Step()) == SQLITE_ROW) {
        AdverseTrendRow& t = trends.emplace_back();
        t.room = tr.Text(0);
        t.location = static_cast<int>(tr.Int(1));
        t.sizeTenths = static_cast<int>(tr.Int(2));
        t.firstTime = tr.Int(3);
        t.lastTime = tr.Int(4);
        t.records = static_cast<int>(tr.Int(5));
    }
    if (rc != SQLITE_DONE) {
        error = Reason("cannot read the excursions", tr.Cause());
        return false;
    }
    return true;
}

}  // namespace oront::archive
