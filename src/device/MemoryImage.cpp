#include "device/MemoryImage.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "base/OutputFile.h"
#include "device/DeviceLink.h"

namespace oront {

namespace {

bool Refuse(std::string* reason, std::string why) {
    if (reason != nullptr) *reason = std::move(why);
    return false;
}

}  // namespace

bool LoadMemoryImage(const std::string& path, MemoryImage& image, std::string* reason) {
    MemoryImage bytes;
#ifdef _WIN32
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status)) return Refuse(reason, "cannot open it: " + ErrorText(ENOENT));
    if (!std::filesystem::is_regular_file(status)) return Refuse(reason, "it is not a regular file");
    std::ifstream in(path, std::ios::binary);
    if (!in) return Refuse(reason, "cannot open it");
    char chunk[4096];
    while (in) {
        in.read(chunk, sizeof chunk);
        const auto got = static_cast<std::size_t>(in.gcount());
        if (bytes.size() + got > kMaxMemoryImageSize)
            return Refuse(reason, "it is larger than " + std::to_string(kMaxMemoryImageSize) + " bytes");
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    if (in.bad()) return Refuse(reason, "it cannot be read");
#else
    // Opened without waiting, so that a FIFO without a writer does not block;
    // only a regular file is read at all.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return Refuse(reason, "cannot open it: " + ErrorText(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Refuse(reason, "it is not a regular file");
    }
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            const int error = errno;
            ::close(fd);
            return Refuse(reason, "it cannot be read: " + ErrorText(error));
        }
        if (got == 0) break;
        if (bytes.size() + static_cast<std::size_t>(got) > kMaxMemoryImageSize) {
            ::close(fd);
            return Refuse(reason, "it is larger than " + std::to_string(kMaxMemoryImageSize) + " bytes");
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    ::close(fd);
#endif
    if (bytes.size() % kPacketSize != 0) {
        return Refuse(reason, "its length (" + std::to_string(bytes.size()) + " bytes) is not a multiple of " +
                                  std::to_string(kPacketSize) + " bytes");
    }
    image = std::move(bytes);
    return true;
}

bool SaveMemoryImage(const std::string& path, const MemoryImage& image, std::string* failure) {
    const OutputResult result =
        WriteOutputFile(path, std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
    if (failure != nullptr) *failure = result.Describe();
    return result.ok();
}

MemoryImage MakeMemoryImage(std::uint16_t countValue, const std::vector<RawRecord>& slots) {
    MemoryImage image(64, 0);
    image[0] = static_cast<std::uint8_t>(countValue >> 8);
    image[1] = static_cast<std::uint8_t>(countValue & 0xFF);
    image.reserve(64 + slots.size() * 128);
    for (const RawRecord& record : slots) {
        const Frame frame = EncodeRecordFrame(record);
        image.insert(image.end(), frame.begin(), frame.end());
    }
    return image;
}

namespace {

// A small deterministic generator (xorshift32): the demo images must be the
// same bytes on every platform and every run.
class DemoRandom {
public:
    explicit DemoRandom(std::uint32_t seed) : m_state(seed != 0 ? seed : 1u) {}
    std::uint32_t Next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    // lo..hi inclusive
    int Range(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<std::uint32_t>(hi - lo + 1)); }
    // A factor around 1 with the given relative spread.
    double Jitter(double spread) { return 1.0 + spread * (static_cast<double>(Next() % 20001) / 10000.0 - 1.0); }
    bool Chance(int percent) { return Range(1, 100) <= percent; }

private:
    std::uint32_t m_state;
};

// Wall-clock time of the instrument (two-digit year).
class DemoClock {
public:
    DemoClock(int year, int month, int day, int hour, int minute, int second)
        : m_year(year), m_month(month), m_day(day), m_hour(hour), m_minute(minute), m_second(second) {}

    void Stamp(RawRecord& record) const {
        record.year = static_cast<std::uint8_t>(m_year);
        record.month = static_cast<std::uint8_t>(m_month);
        record.day = static_cast<std::uint8_t>(m_day);
        record.hour = static_cast<std::uint8_t>(m_hour);
        record.minute = static_cast<std::uint8_t>(m_minute);
        record.second = static_cast<std::uint8_t>(m_second);
    }

    void Advance(int seconds) {
        long total = ((m_hour * 60L) + m_minute) * 60L + m_second + seconds;
        while (total >= 86400L) {
            total -= 86400L;
            NextDay();
        }
        m_hour = static_cast<int>(total / 3600);
        m_minute = static_cast<int>(total / 60 % 60);
        m_second = static_cast<int>(total % 60);
    }

    // The next working morning, some days later.
    void NextSession(DemoRandom& random) {
        const int days = random.Range(1, 3);
        for (int i = 0; i < days; ++i) NextDay();
        m_hour = random.Range(7, 10);
        m_minute = random.Range(0, 59);
        m_second = random.Range(0, 59);
    }

    int Hour() const { return m_hour; }

private:
    void NextDay() {
        static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        int days = kDays[m_month - 1];
        if (m_month == 2 && m_year % 4 == 0) days = 29;
        if (++m_day > days) {
            m_day = 1;
            if (++m_month > 12) {
                m_month = 1;
                ++m_year;
            }
        }
    }

    int m_year, m_month, m_day, m_hour, m_minute, m_second;
};

enum Unit : std::uint8_t { kCnt = 0, kPerCf = 1, kPerM3 = 2, kPerL = 3 };
enum Mode : std::uint8_t { kAuto = 0, kManual = 1, kIso = 2 };

// Lower edge of each channel in micrometres for a channel-size code.
void ChannelSizes(int sizeCode, double sizes[3]) {
    sizes[0] = sizeCode >= 10 ? 0.5 : 0.3;
    switch (sizeCode) {
        case 0:
            sizes[1] = 0.5;
            break;
        case 1:
        case 10:
            sizes[1] = 1.0;
            break;
        case 2:
        case 11:
            sizes[1] = 2.0;
            break;
        default:
            sizes[1] = 2.5;
            break;
    }
    sizes[2] = 5.0;
}

// Builds plausible cleanroom records. Counts follow the cumulative class
// limits of ISO 14644-1 (10^N x (0.1/D)^2.08 particles per cubic metre) for
// the air sampled at 2.83 L/min, with some scatter, so larger channels
// always count fewer particles.
class DemoBuilder {
public:
    DemoBuilder(std::uint32_t seed, DemoClock clock) : m_random(seed), m_clock(clock) {}

    struct Setup {
        Mode mode = kAuto;
        int location = 1;
        Unit unit = kCnt;
        int sizeCode = 0;
        int sampleSeconds = 60;
        int holdSeconds = 0;
        double isoClass = 7.0;
    };

    void Auto(const Setup& setup, int records) {
        for (int i = 1; i <= records; ++i) {
            RawRecord record = Make(setup);
            record.point = 1;
            record.cyclesPerPoint = static_cast<std::uint16_t>(records);
            record.cycle = static_cast<std::uint16_t>(i);
            Emit(record, setup);
        }
    }

    void Manual(const Setup& setup, int records, bool overRangeLast = false) {
        for (int i = 1; i <= records; ++i) {
            RawRecord record = Make(setup);
            record.point = 1;
            record.cyclesPerPoint = 1;
            record.cycle = 1;
            if (overRangeLast && i == records) MakeOverRange(record);
            Emit(record, setup);
            m_clock.Advance(m_random.Range(20, 300));  // the operator walks on
        }
    }

    // An ISO run of points x cycles; when stopAfter is below the run's size
    // the run is interrupted after that many records and has no end flag.
    void Iso(const Setup& setup, int points, int cycles, int stopAfter = -1) {
        const int total = points * cycles;
        const int records = stopAfter >= 0 && stopAfter < total ? stopAfter : total;
        int written = 0;
        for (int p = 1; p <= points && written < records; ++p) {
            Setup at = setup;
            at.isoClass = setup.isoClass + (m_random.Range(-10, 10)) / 40.0;  // each point has its own air
            for (int c = 1; c <= cycles && written < records; ++c) {
                RawRecord record = Make(at);
                record.point = static_cast<std::uint8_t>(p);
                record.cyclesPerPoint = static_cast<std::uint16_t>(cycles);
                record.cycle = static_cast<std::uint16_t>(c);
                ++written;
                record.runEnd = (records == total && written == total) ? 1 : 0;
                Emit(record, at);
            }
            m_clock.Advance(m_random.Range(40, 120));  // moving the counter to the next point
        }
    }

    void NextSession() { m_clock.NextSession(m_random); }
    void Pause(int seconds) { m_clock.Advance(seconds); }
    DemoRandom& Random() { return m_random; }
    std::vector<RawRecord>& Records() { return m_records; }
    int Size() const { return static_cast<int>(m_records.size()); }

private:
    RawRecord Make(const Setup& setup) {
        RawRecord record;
        record.mode = setup.mode;
        record.location = static_cast<std::uint8_t>(setup.location);
        record.sampleMinutes = static_cast<std::uint8_t>(setup.sampleSeconds / 60);
        record.sampleSeconds = static_cast<std::uint8_t>(setup.sampleSeconds % 60);
        record.holdHours = static_cast<std::uint8_t>(setup.holdSeconds / 3600);
        record.holdMinutes = static_cast<std::uint8_t>(setup.holdSeconds / 60 % 60);
        record.holdSeconds = static_cast<std::uint8_t>(setup.holdSeconds % 60);
        record.unit = setup.unit;
        record.sizeCode = static_cast<std::uint8_t>(setup.sizeCode);
        record.serialNumber = kDemoSerialNumber;

        double sizes[3];
        ChannelSizes(setup.sizeCode, sizes);
        const double cubicMetres = 0.00283 * setup.sampleSeconds / 60.0;
        std::uint32_t previous = 0xFFFFFFFFu;
        for (int k = 0; k < 3; ++k) {
            const double perM3 = std::pow(10.0, setup.isoClass) * std::pow(0.1 / sizes[k], 2.08);
            double expected = perM3 * cubicMetres * m_random.Jitter(0.35);
            auto count = static_cast<std::uint32_t>(std::lround(std::max(0.0, expected)));
            if (count > previous) count = previous;  // cumulative channels never grow with size
            previous = count;
            record.counts[static_cast<std::size_t>(k)] = count;
            record.values[static_cast<std::size_t>(k)] = static_cast<float>(count);
        }
        // Instrument readings carried with every record: temperature and
        // relative humidity.
        record.values[4] = static_cast<float>(m_random.Range(195, 235)) / 10.0f;
        record.values[5] = static_cast<float>(m_random.Range(350, 550)) / 10.0f;
        return record;
    }

    static void MakeOverRange(RawRecord& record) {
        record.overRange = 1;
        record.counts = {3456789u, 1234567u, 45678u, 0u, 0u, 0u};
        for (std::size_t k = 0; k < 3; ++k) record.values[k] = static_cast<float>(record.counts[k]);
    }

    void Emit(RawRecord& record, const Setup& setup) {
        m_clock.Stamp(record);
        m_records.push_back(record);
        m_clock.Advance(setup.sampleSeconds + setup.holdSeconds + m_random.Range(1, 4));
    }

    DemoRandom m_random;
    DemoClock m_clock;
    std::vector<RawRecord> m_records;
};

using Setup = DemoBuilder::Setup;

Setup Plan(Mode mode, int location, Unit unit, int sizeCode, int sampleSeconds, int holdSeconds, double isoClass) {
    Setup setup;
    setup.mode = mode;
    setup.location = location;
    setup.unit = unit;
    setup.sizeCode = sizeCode;
    setup.sampleSeconds = sampleSeconds;
    setup.holdSeconds = holdSeconds;
    setup.isoClass = isoClass;
    return setup;
}

}  // namespace

MemoryImage MakeDemoImage() {
    DemoBuilder demo(20150302u, DemoClock(15, 3, 2, 8, 12, 5));

    demo.Auto(Plan(kAuto, 1, kCnt, 0, 60, 10, 7.0), 20);
    demo.Pause(900);
    demo.Manual(Plan(kManual, 2, kPerCf, 0, 60, 0, 7.2), 5);
    demo.Iso(Plan(kIso, 3, kPerM3, 0, 60, 0, 5.0), 2, 3);

    demo.NextSession();
    demo.Auto(Plan(kAuto, 4, kPerL, 1, 60, 5, 6.0), 30);
    demo.Iso(Plan(kIso, 5, kPerM3, 0, 60, 0, 6.0), 3, 2);
    // The last of these saturated the sensor: over range, and so large in
    // /m3 that the report writes it in exponent form.
    demo.Manual(Plan(kManual, 6, kPerM3, 0, 60, 0, 8.0), 3, /*overRangeLast=*/true);

    demo.NextSession();
    demo.Iso(Plan(kIso, 7, kPerM3, 10, 60, 0, 4.8), 5, 1);
    demo.Auto(Plan(kAuto, 8, kPerCf, 3, 60, 20, 7.5), 40);
    // A run stopped by the operator after four of its six records.
    demo.Iso(Plan(kIso, 9, kPerM3, 0, 60, 0, 7.0), 3, 2, 4);
    demo.Iso(Plan(kIso, 10, kPerL, 12, 60, 0, 5.5), 1, 4);

    // Routine monitoring over the following days until the memory holds 300.
    int location = 11;
    while (demo.Size() < 300) {
        demo.NextSession();
        const Unit unit = static_cast<Unit>(demo.Random().Range(0, 3));
        const int sizeCode = demo.Random().Chance(70) ? 0 : 10;
        const int remaining = 300 - demo.Size();
        if (remaining >= 8 && demo.Random().Chance(30)) {
            demo.Iso(Plan(kIso, location, kPerM3, sizeCode, 60, 0, 6.5), 2, 2);
        }
        const int block = std::min(300 - demo.Size(), demo.Random().Range(15, 35));
        demo.Auto(Plan(kAuto, location, unit, sizeCode, 60, demo.Random().Range(0, 30),
                       6.0 + demo.Random().Range(0, 20) / 10.0),
                  block);
        location = location % 40 + 1;
    }
    return MakeMemoryImage(300, demo.Records());
}

MemoryImage MakeFullDemoImage() {
    constexpr int kRecords = 8000;
    DemoBuilder demo(20140106u, DemoClock(14, 1, 6, 8, 30, 0));

    int location = 1;
    while (demo.Size() < kRecords) {
        DemoRandom& random = demo.Random();
        const int remaining = kRecords - demo.Size();
        const Unit unit = static_cast<Unit>(random.Range(0, 3));
        static constexpr int kSizeCodes[] = {0, 0, 0, 1, 2, 3, 10, 11, 12};
        const int sizeCode = kSizeCodes[random.Range(0, 8)];
        const double isoClass = 5.0 + random.Range(0, 30) / 10.0;
        const int kindRoll = random.Range(1, 100);
        if (kindRoll <= 30) {
            const int points = random.Range(1, 9);
            const int cycles = random.Range(1, 3);
            if (points * cycles <= remaining) {
                const bool interrupted = random.Chance(8);
                demo.Iso(Plan(kIso, location, kPerM3, sizeCode, 60, 0, isoClass), points, cycles,
                         interrupted ? random.Range(1, points * cycles - 1 > 0 ? points * cycles - 1 : 1) : -1);
            } else {
                demo.Manual(Plan(kManual, location, unit, sizeCode, 60, 0, isoClass), std::min(remaining, 2));
            }
        } else if (kindRoll <= 55) {
            const int records = std::min(remaining, random.Range(1, 4));
            demo.Manual(Plan(kManual, location, unit, sizeCode, random.Chance(50) ? 60 : 30, 0, isoClass), records,
                        random.Chance(3));
        } else {
            const int records = std::min(remaining, random.Range(5, 40));
            demo.Auto(Plan(kAuto, location, unit, sizeCode, 60, random.Range(0, 6) * 5, isoClass), records);
        }
        location = location % 60 + 1;
        if (demo.Random().Chance(35)) demo.NextSession();
    }

    // The ring has wrapped: the oldest record lies at the wrap position and
    // the newest just before it.
    const std::vector<RawRecord>& chronological = demo.Records();
    std::vector<RawRecord> slots(kRecords);
    for (int i = 0; i < kRecords; ++i) {
        slots[static_cast<std::size_t>((kFullDemoWrapPosition + i) % kRecords)] =
            chronological[static_cast<std::size_t>(i)];
    }
    return MakeMemoryImage(static_cast<std::uint16_t>(0x8000 | kFullDemoWrapPosition), slots);
}

}  // namespace oront
