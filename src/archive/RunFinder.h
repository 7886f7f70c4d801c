// The runs of records above the alert limit at one room location and size
// (adverse trends), found as one location's records come in time order; the
// same for every store of the archive.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "archive/Archive.h"
#include "site/Monitoring.h"

namespace oront::archive {

class RunFinder {
public:
    // `emit` keeps a run that is long enough for its room; false fails.
    explicit RunFinder(std::function<bool(const AdverseTrendRow&)> emit) : m_emit(std::move(emit)) {}

    // A record at `place` (or at none), with its excursions at the place's
    // limits; false when keeping a run fails.
    bool Add(const site::Place& place, const std::vector<site::Limit>& limits, const Frame& frame, std::int64_t time) {
        if (place.location != m_place.location) {
            if (!FlushAll()) return false;
            m_place = place;
        }
        for (const site::Limit& limit : limits) {
            const std::optional<double> perM3 = site::PerM3AtSize(frame, limit.sizeTenths);
            if (!perM3) continue;  // a record that does not measure the size leaves its run as it is
            Run& run = m_runs[limit.sizeTenths];
            if (*perM3 > limit.alertPerM3) {
                if (run.records++ == 0) run.first = time;
                run.last = time;
            } else if (!Flush(limit.sizeTenths, run)) {
                return false;
            }
        }
        return true;
    }
    bool FlushAll() {
        for (auto& [size, run] : m_runs)
            if (!Flush(size, run)) return false;
        m_runs.clear();
        return true;
    }

private:
    struct Run {
        std::int64_t first = 0;
        std::int64_t last = 0;
        int records = 0;
    };
    bool Flush(int size, Run& run) {
        const int minimum = m_place.room != nullptr ? m_place.room->adverseRun : 0;
        const bool kept = m_place.room == nullptr || run.records < minimum ||
                          m_emit({m_place.room->id, m_place.location->number, size, run.first, run.last, run.records});
        run = Run{};
        return kept;
    }

    std::function<bool(const AdverseTrendRow&)> m_emit;
    site::Place m_place;
    std::map<int, Run> m_runs;
};

}  // namespace oront::archive
