// The site register on the server and what monitoring finds among the
// archived records there: the excursions and adverse trends, judged again
// whenever the register changes or new records arrive, as in the file.
#include <libpq-fe.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>

#include "archive/RunFinder.h"
#include "pgstore/PgArchive.h"
#include "pgstore/PgQuery.h"
#include "site/RegisterJson.h"

namespace oront::archive {
namespace {

std::string RealText(double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return {text, end};
}

}  // namespace

bool PgArchive::JudgeLocations(const site::Register& reg, const std::vector<std::pair<int, std::int64_t>>& numbers,
                               std::string& error) {
    std::vector<std::pair<int, std::int64_t>> all = numbers;
    if (all.empty()) {
        std::vector<int> locations;
        if (!Locations(locations, error)) return false;
        for (const int number : locations) all.emplace_back(number, -1);
    }
    const site::PlaceFinder finder(reg);
    const auto frameOf = [](const PgQuery& q, int row, int column, Frame& frame) {
        frame.fill(0);
        const auto [data, size] = q.Blob(row, column);
        if (size > 0) std::memcpy(frame.data(), data, std::min(size, frame.size()));
    };
    // What is found, written in bulk per location.
    std::vector<std::int64_t> records, times, locations, levels, sizes;
    std::vector<std::string> rooms;
    std::vector<double> perM3, limitPerM3;
    std::vector<AdverseTrendRow> trends;
    Frame frame;
    for (const auto& [number, sinceTime] : all) {
        // From the last record before `sinceTime` that is above no alert
        // limit: no run reaches across it, so the runs from there on are
        // found whole.
        std::int64_t startTime = -1;
        std::int64_t startId = 0;
        if (sinceTime >= 0) {
            std::int64_t time = sinceTime;
            std::int64_t id = 0;
            for (bool found = false; !found;) {
                PgQuery back(m_conn);
                back.Int(number).Int(time).Int(id);
                if (!back.Run("SELECT id, time, frame FROM records WHERE location = $1 AND (time, id) < ($2, $3)"
                              " ORDER BY time DESC, id DESC LIMIT 64",
                              error))
                    return false;
                for (int r = 0; r < back.Rows() && !found; ++r) {
                    id = back.Int(r, 0);
                    time = back.Int(r, 1);
                    frameOf(back, r, 2, frame);
                    const site::Place place = finder.At(number, site::FrameDay(frame));
                    if (site::WorstLevel(site::Judge(frame, finder.LimitsOf(place))) == site::Level::None) {
                        found = true;
                        startTime = time;
                        startId = id;
                    }
                }
                if (back.Rows() < 64) break;  // the location's first record reached: from the start
            }
        }
        PgQuery drop(m_conn);
        drop.Int(number).Int(startTime < 0 ? 0 : startTime);
        if (!drop.Run("DELETE FROM adverse_trends WHERE location = $1 AND last_time >= $2", error)) return false;
        RunFinder runs([&trends](const AdverseTrendRow& t) { return trends.push_back(t), true; });
        std::int64_t afterTime = startTime;
        std::int64_t afterId = startId;
        for (;;) {
            PgQuery page(m_conn);
            page.Int(number).Int(afterTime).Int(afterId);
            if (!page.Run("SELECT id, time, frame FROM records WHERE location = $1 AND (time, id) > ($2, $3)"
                          " ORDER BY time, id LIMIT 4096",
                          error))
                return false;
            for (int r = 0; r < page.Rows(); ++r) {
                afterId = page.Int(r, 0);
                afterTime = page.Int(r, 1);
                frameOf(page, r, 2, frame);
                const site::Place place = finder.At(number, site::FrameDay(frame));
                const std::vector<site::Limit>& limits = finder.LimitsOf(place);
                runs.Add(place, limits, frame, afterTime);
                for (const site::Excursion& e : site::Judge(frame, limits)) {
                    records.push_back(afterId);
                    sizes.push_back(e.sizeTenths);
                    times.push_back(afterTime);
                    rooms.push_back(place.room->id);
                    locations.push_back(number);
                    perM3.push_back(e.perM3);
                    limitPerM3.push_back(e.limitPerM3);
                    levels.push_back(static_cast<std::int64_t>(e.level));
                }
            }
            if (page.Rows() < 4096) break;
        }
        runs.FlushAll();
    }
    // The excursions of the records judged again replace theirs.
    PgQuery excursions(m_conn);
    excursions.Int8s(records).Int8s(sizes).Int8s(times).Texts(rooms).Int8s(locations).Float8s(perM3);
    excursions.Float8s(limitPerM3).Int8s(levels);
    if (!excursions.Run("INSERT INTO excursions(record, size_tenths, time, room, location, per_m3, limit_per_m3, level)"
                        " SELECT * FROM unnest($1::bigint[], $2::integer[], $3::bigint[], $4::text[], $5::integer[],"
                        " $6::double precision[], $7::double precision[], $8::integer[])"
                        " ON CONFLICT (record, size_tenths) DO UPDATE SET time = excluded.time, room = excluded.room,"
                        " location = excluded.location, per_m3 = excluded.per_m3,"
                        " limit_per_m3 = excluded.limit_per_m3, level = excluded.level",
                        error))
        return false;
    for (const AdverseTrendRow& t : trends) {
        PgQuery insert(m_conn);
        insert.Text(t.room).Int(t.location).Int(t.sizeTenths).Int(t.firstTime).Int(t.lastTime).Int(t.records);
        if (!insert.Run("INSERT INTO adverse_trends VALUES ($1, $2::integer, $3::integer, $4, $5, $6::integer)", error))
            return false;
    }
    return true;
}

bool PgArchive::MonitorNewRecords(const site::Register& reg, const std::vector<NewRecord>& fresh,
                                  std::int64_t latestBefore, std::int64_t download, std::string& error) {
    struct Arrived {
        std::int64_t earliest = 0;
        bool above = false;
    };
    std::map<int, Arrived> numbers;
    const site::PlaceFinder finder(reg);
    std::vector<std::pair<int, std::int64_t>> again;
    for (const NewRecord& r : fresh) {
        const int number = r.frame[1];
        const site::Place place = finder.At(number, site::FrameDay(r.frame));
        const bool above = !site::Judge(r.frame, finder.LimitsOf(place)).empty();
        auto [at, first] = numbers.emplace(number, Arrived{r.time, false});
        at->second.earliest = std::min(at->second.earliest, r.time);
        at->second.above = at->second.above || above;
    }
    // A run changes where a new record is above an alert limit, or where new
    // records arrived among older ones (one may split a run). The new
    // records' excursions are found with the runs, from the same start.
    for (const auto& [number, arrived] : numbers) {
        bool changes = arrived.above;
        if (!changes && arrived.earliest <= latestBefore) {
            PgQuery latest(m_conn);
            latest.Int(number).Int(download);
            if (!latest.Run("SELECT time FROM records WHERE location = $1 AND first_download < $2"
                            " ORDER BY time DESC, id DESC LIMIT 1",
                            error))
                return false;
            changes = latest.Rows() > 0 && latest.Int(0, 0) > arrived.earliest;
        }
        if (changes) again.emplace_back(number, arrived.earliest);
    }
    return again.empty() || JudgeLocations(reg, again, error);
}

bool PgArchive::StoreRegister(const site::Register& reg, std::string& error, const std::string& reason) {
    m_refused = false;
    if (std::string rule = site::ValidationError(reg); !rule.empty()) {
        error = "the register is refused: " + rule;
        return false;
    }
    std::string ignored;
    const auto fail = [&] { return Exec("ROLLBACK", ignored), false; };
    site::Register before;
    if (!Exec("BEGIN", error) || !Admit(audit::Action::EditRegister, error) || !LoadRegister(before, error))
        return fail();
    for (const char* table : {"organisation", "rooms", "locations", "limits", "instruments", "download_states",
                              "excursions", "adverse_trends"})
        if (!Exec((std::string("DELETE FROM ") + table).c_str(), error)) return fail();
    PgQuery org(m_conn);
    org.Text(reg.organisation.name).Text(reg.organisation.address);
    if (!org.Run("INSERT INTO organisation VALUES ($1, $2)", error)) return fail();
    for (std::size_t r = 0; r < reg.rooms.size(); ++r) {
        const site::Room& ro = reg.rooms[r];
        PgQuery room(m_conn);
        room.Int(static_cast<std::int64_t>(r)).Text(ro.id).Text(ro.name).Literal(RealText(ro.areaM2));
        room.Int(static_cast<std::int64_t>(ro.standard)).Int(ro.classTenths);
        room.Text(ro.grade == 0 ? std::string() : std::string(1, ro.grade)).Int(static_cast<std::int64_t>(ro.state));
        room.Text(ro.notes).Int(ro.adverseRun);
        if (!room.Run("INSERT INTO rooms VALUES ($1::integer, $2, $3, $4, $5::integer, $6::integer, $7, $8::integer,"
                      " $9, $10::integer)",
                      error))
            return fail();
        for (std::size_t l = 0; l < ro.locations.size(); ++l) {
            const site::Location& loc = ro.locations[l];
            PgQuery location(m_conn);
            location.Int(static_cast<std::int64_t>(r)).Int(static_cast<std::int64_t>(l)).Int(loc.number).Text(loc.name);
            location.Literal(RealText(loc.xM)).Literal(RealText(loc.yM)).Literal(loc.critical ? "true" : "false");
            if (loc.from)
                location.Int(*loc.from);
            else
                location.Null();
            if (loc.to)
                location.Int(*loc.to);
            else
                location.Null();
            if (!location.Run("INSERT INTO locations VALUES ($1::integer, $2::integer, $3::integer, $4, $5, $6, $7,"
                              " $8, $9)",
                              error))
                return fail();
        }
        for (std::size_t k = 0; k < ro.limits.size(); ++k) {
            const site::Limit& li = ro.limits[k];
            PgQuery limit(m_conn);
            limit.Int(static_cast<std::int64_t>(r)).Int(static_cast<std::int64_t>(k)).Int(li.sizeTenths);
            limit.Literal(RealText(li.alertPerM3)).Literal(RealText(li.actionPerM3));
            if (li.location)
                limit.Int(*li.location);
            else
                limit.Null();
            if (!limit.Run("INSERT INTO limits VALUES ($1::integer, $2::integer, $3::integer, $4, $5, $6::integer)",
                           error))
                return fail();
        }
    }
    for (std::size_t i = 0; i < reg.instruments.size(); ++i) {
        const site::Instrument& ins = reg.instruments[i];
        PgQuery instrument(m_conn);
        instrument.Int(static_cast<std::int64_t>(i)).Int(ins.serial).Text(ins.model).Int(ins.calibratedOn);
        instrument.Int(ins.calibrationDue).Text(ins.certificate).Literal(RealText(ins.flowLPerMin));
        if (!instrument.Run("INSERT INTO instruments VALUES ($1::integer, $2, $3, $4, $5, $6, $7)", error))
            return fail();
    }
    for (std::size_t i = 0; i < reg.downloads.size(); ++i) {
        PgQuery state(m_conn);
        state.Int(static_cast<std::int64_t>(i)).Int(reg.downloads[i].download);
        state.Int(static_cast<std::int64_t>(reg.downloads[i].state));
        if (!state.Run("INSERT INTO download_states VALUES ($1::integer, $2, $3::integer)", error)) return fail();
    }
    // Every archived record against the new register.
    if (!reg.Empty() && !JudgeLocations(reg, {}, error)) return fail();
    const std::string data = nlohmann::json{{"new", nlohmann::json::parse(site::RegisterJson(reg))},
                                            {"old", nlohmann::json::parse(site::RegisterJson(before))}}
                                 .dump();
    std::int64_t seq = 0;
    if (!Append("register changed", data, reason, seq, error) || !Exec("COMMIT", error)) return fail();
    return true;
}

bool PgArchive::Excursions(const ExcursionFilter& filter, std::vector<ExcursionRow>& excursions,
                           std::vector<AdverseTrendRow>& trends, std::string& error) {
    excursions.clear();
    trends.clear();
    PgQuery list(m_conn);
    list.Int(static_cast<std::int64_t>(filter.lowest)).Text(filter.room.value_or(""));
    list.Int(filter.from.value_or(INT64_MIN)).Int(filter.to.value_or(INT64_MAX));
    if (!list.Run("SELECT record, time, room, location::bigint, size_tenths::bigint, per_m3, limit_per_m3,"
                  " level::bigint FROM excursions WHERE level >= $1 AND ($2 = '' OR room = $2)"
                  " AND time BETWEEN $3 AND $4 ORDER BY time, record, size_tenths",
                  error))
        return false;
    const auto real = [](const PgQuery& q, int row, int column) {
        const std::int64_t bits = q.Int(row, column);
        double value = 0.0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    };
    for (int r = 0; r < list.Rows(); ++r) {
        ExcursionRow& e = excursions.emplace_back();
        e.record = list.Int(r, 0);
        e.time = list.Int(r, 1);
        e.room = list.Text(r, 2);
        e.location = static_cast<int>(list.Int(r, 3));
        e.sizeTenths = static_cast<int>(list.Int(r, 4));
        e.perM3 = real(list, r, 5);
        e.limitPerM3 = real(list, r, 6);
        e.level = static_cast<site::Level>(std::clamp<std::int64_t>(list.Int(r, 7), 0, 2));
    }
    // Adverse trends are runs above the alert limit: listed unless only
    // action excursions are asked for.
    if (filter.lowest == site::Level::Action) return true;
    PgQuery runs(m_conn);
    runs.Text(filter.room.value_or("")).Int(filter.from.value_or(INT64_MIN)).Int(filter.to.value_or(INT64_MAX));
    if (!runs.Run("SELECT room, location::bigint, size_tenths::bigint, first_time, last_time, records::bigint"
                  " FROM adverse_trends WHERE ($1 = '' OR room = $1) AND last_time >= $2 AND first_time <= $3"
                  " ORDER BY first_time, room, location, size_tenths",
                  error))
        return false;
    for (int r = 0; r < runs.Rows(); ++r)
        trends.push_back({runs.Text(r, 0), static_cast<int>(runs.Int(r, 1)), static_cast<int>(runs.Int(r, 2)),
                          runs.Int(r, 3), runs.Int(r, 4), static_cast<int>(runs.Int(r, 5))});
    return true;
}

}  // namespace oront::archive
