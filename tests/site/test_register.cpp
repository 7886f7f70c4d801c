// The site register: its JSON file read and written again byte for byte,
// the rules an import is refused by, where a location number stood on a
// day, records judged against alert and action limits, runs above the alert
// limit, and the calibration due on the boundary day.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "site/Monitoring.h"
#include "site/Register.h"
#include "site/RegisterJson.h"
#include "support/RecordBuilders.h"

using namespace oront;
using namespace oront::site;

namespace {

// A register of every kind of entry: an ISO room and an EU GMP room,
// location number 3 moved from one to the other on 2015-03-02, a limit of
// the whole room and one of a location, two instruments.
const char* const kRegister = R"({
  "organisation": {"name": "Pharma Example GmbH", "address": "Werkstraße 1, 12345 Musterstadt"},
  "rooms": [
    {"id": "FR2", "name": "Filling room 2", "area_m2": 24.5, "standard": "gmp-2022", "grade": "B",
     "state": "operational", "notes": "Annex 1 monitoring plan 7", "adverse_run": 3, "extra": true,
     "locations": [
       {"number": 3, "name": "beside the filling needle", "x_m": 1.2, "y_m": 0.8, "critical": true, "from": "2015-03-02"},
       {"number": 4, "name": "door", "x_m": 0, "y_m": 4}],
     "limits": [
       {"size_um": 0.5, "alert_per_m3": 1000, "action_per_m3": 2000},
       {"size_um": 0.5, "alert_per_m3": 500, "action_per_m3": 1500, "location": 4},
       {"size_um": 5.0, "alert_per_m3": 10, "action_per_m3": 29}]},
    {"id": "LAB", "name": "Lab", "area_m2": 12, "standard": "iso-2015", "class": 7.5, "state": "at-rest",
     "locations": [{"number": 3, "name": "bench", "x_m": 2, "y_m": 2, "to": "2015-03-01"}],
     "limits": [{"size_um": 0.3, "alert_per_m3": 2000, "action_per_m3": 4000}]}],
  "instruments": [
    {"serial": 2150042, "model": "V208", "calibrated_on": "2014-03-02", "calibration_due": "2015-03-02",
     "certificate": "CAL-1234", "flow_l_per_min": 2.83},
    {"serial": 4294967295, "calibrated_on": "2015-01-01", "calibration_due": "2016-01-01"}],
  "downloads": [{"download": 3, "state": "at-rest"}, {"download": 4, "state": "operational"}]
})";

Register Parsed(const std::string& text) {
    Register reg;
    std::string error;
    EXPECT_TRUE(ParseRegisterJson(text, reg, error)) << error;
    return reg;
}

// A record of location `number` on day `day` of March 2015 at `hour`,
// counting ch1 0.3 µm, ch2 0.5 µm, ch3 5.0 µm over one minute: one count is
// 353.1 particles per m³.
Frame RecordAt(int number, int day, int hour, std::uint32_t c03, std::uint32_t c05, std::uint32_t c50,
               std::uint32_t serial = 2150042) {
    RawRecord r = test::PlainRecord(0, c03, c05, c50);
    r.location = static_cast<std::uint8_t>(number);
    r.year = 15;
    r.month = 3;
    r.day = static_cast<std::uint8_t>(day);
    r.hour = static_cast<std::uint8_t>(hour);
    r.serialNumber = serial;
    return EncodeRecordFrame(r);
}

}  // namespace

TEST(SiteRegister, TheFileReadsAndIsWrittenAgainByteForByte) {
    const Register reg = Parsed(kRegister);
    ASSERT_EQ(reg.rooms.size(), 2u);
    EXPECT_EQ(reg.rooms[1].classTenths, 75);
    EXPECT_EQ(reg.rooms[0].grade, 'B');
    EXPECT_EQ(reg.rooms[1].adverseRun, 3) << "the default run";
    EXPECT_EQ(reg.rooms[0].locations[0].from, 20150302);
    EXPECT_FALSE(reg.rooms[0].locations[0].to);
    EXPECT_EQ(reg.instruments[1].serial, 4294967295u);
    EXPECT_DOUBLE_EQ(reg.instruments[1].flowLPerMin, 2.83) << "the default flow";
    EXPECT_EQ(StateOfDownload(reg, 3), classify::Occupancy::AtRest);
    EXPECT_FALSE(StateOfDownload(reg, 5));
    const std::string written = RegisterJson(reg);
    EXPECT_EQ(RegisterJson(Parsed(written)), written);
    EXPECT_EQ(written.find("extra"), std::string::npos) << "keys this program does not know are not kept";
    EXPECT_NE(written.find("\"address\": \"Werkstraße 1, 12345 Musterstadt\""), std::string::npos) << written;
    EXPECT_NE(written.find("\"class\": 7.5"), std::string::npos) << written;
    EXPECT_EQ(written.find("\"to\""), written.rfind("\"to\"")) << "an open period is left out";
}

// Each rule refuses the whole file, naming where it is broken, and leaves
// the register as it was.
TEST(SiteRegister, AnImportIsRefusedByEveryRuleWithItsPlace) {
    struct Case {
        std::string from, to;  // a change of the good file
        std::string error;     // how the refusal begins
    };
    const Case cases[] = {
        {"\"rooms\": [", "\"rooms\": [}", "not a JSON file"},
        {"\"area_m2\": 24.5", "\"area_m2\": 0", "rooms[0]: area_m2 must be above 0"},
        {"\"area_m2\": 24.5", "\"area_m2\": \"big\"", "rooms[0].area_m2: a number is expected"},
        {"\"id\": \"LAB\"", "\"id\": \"FR2\"", "rooms[1]: the room id FR2 is given twice"},
        {"\"grade\": \"B\"", "\"class\": 5", "rooms[0]: \"grade\" is missing"},
        {"\"class\": 7.5", "\"class\": 7.55", "rooms[1].class: a number in steps of 0.1 is expected"},
        {"\"alert_per_m3\": 1000", "\"alert_per_m3\": 3000", "rooms[0].limits[0]: the alert limit is above the action"},
        {"\"size_um\": 0.3", "\"size_um\": 0.7", "rooms[1].limits[0]: size_um must be one of"},
        {"\"location\": 4", "\"location\": 9", "rooms[0].limits[1]: location 9 is no location of the room"},
        {"\"to\": \"2015-03-01\"", "\"to\": \"2015-03-02\"",
         "rooms[1].locations[0]: location number 3 is already mapped to rooms[0].locations[0] (FR2)"},
        {"\"from\": \"2015-03-02\"", "\"from\": \"2015-02-30\"",
         "rooms[0].locations[0].from: a date YYYY-MM-DD the calendar has is expected"},
        {"\"calibration_due\": \"2015-03-02\"", "\"calibration_due\": \"2014-03-02\"",
         "instruments[0]: calibration_due must be after calibrated_on"},
        {"\"serial\": 4294967295", "\"serial\": 2150042", "instruments[1]: the serial number 2150042 is given twice"},
        {"\"serial\": 4294967295", "\"serial\": 4294967296", "instruments[1].serial: a whole number from 0"},
        {"\"adverse_run\": 3", "\"adverse_run\": 1", "rooms[0].adverse_run: a whole number from 2 to 100"},
        {"\"download\": 4", "\"download\": 3", "downloads[1]: download 3 is given twice"},
        {"\"state\": \"at-rest\"}", "\"state\": \"resting\"}", "downloads[0].state: as-built, at-rest or operational"},
    };
    const Register before = Parsed(kRegister);
    for (const Case& c : cases) {
        std::string text = kRegister;
        const std::size_t at = text.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        text.replace(at, c.from.size(), c.to);
        Register reg = before;
        std::string error;
        EXPECT_FALSE(ParseRegisterJson(text, reg, error)) << c.to;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
        EXPECT_EQ(RegisterJson(reg), RegisterJson(before)) << "refused: " << c.to;
    }
}

// Location 3 was in the Lab until 2015-03-01 and beside the filling needle
// from 2015-03-02: each record keeps the room it was taken in. The needle's
// 0.5 µm limits are the room's, the door's its own; only a concentration
// above a limit is an excursion.
TEST(SiteRegister, RecordsAreJudgedAtThePlaceTheyWereTakenIn) {
    const Register reg = Parsed(kRegister);
    EXPECT_EQ(PlaceOf(reg, 3, 20150301).room->id, "LAB");
    EXPECT_EQ(PlaceOf(reg, 3, 20150302).room->id, "FR2");
    EXPECT_EQ(PlaceOf(reg, 5, 20150302).room, nullptr);

    const std::vector<Limit> needle = LimitsAt(PlaceOf(reg, 3, 20150302));
    ASSERT_EQ(needle.size(), 2u);
    EXPECT_DOUBLE_EQ(needle[0].alertPerM3, 1000.0);
    EXPECT_DOUBLE_EQ(LimitsAt(PlaceOf(reg, 4, 20150302))[0].alertPerM3, 500.0) << "the door's own limit";

    // 3 counts are 1059.4 per m³: above 1000 (alert), below 2000 (action).
    std::vector<Excursion> e = Judge(RecordAt(3, 2, 9, 0, 3, 0), needle);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].level, Level::Alert);
    EXPECT_NEAR(e[0].perM3, 1059.44, 0.01);
    e = Judge(RecordAt(3, 2, 9, 0, 6, 1), needle);  // 2118.9 at 0.5 µm, 353.1 at 5.0 µm
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].level, Level::Action);
    EXPECT_DOUBLE_EQ(e[0].limitPerM3, 2000.0);
    EXPECT_EQ(e[1].sizeTenths, 50);
    EXPECT_TRUE(Judge(RecordAt(3, 2, 9, 0, 2, 0), needle).empty()) << "706.3 is below the alert limit";
    Limit exact{5, PerM3AtSize(RecordAt(3, 2, 9, 0, 3, 0), 5).value(), 5000.0, {}};
    EXPECT_TRUE(Judge(RecordAt(3, 2, 9, 0, 3, 0), {exact}).empty()) << "a concentration at the limit is no excursion";

    // A download of the Lab's day and the needle's day, and one of a place
    // without a mapping.
    const std::vector<Frame> frames = {RecordAt(3, 1, 9, 9, 0, 0), RecordAt(3, 2, 9, 0, 3, 0),
                                       RecordAt(3, 2, 10, 0, 6, 0), RecordAt(7, 2, 11, 99, 99, 99)};
    const DownloadJudgement j = JudgeDownload(reg, frames);
    EXPECT_EQ(j.judged, 3);
    EXPECT_EQ(j.alert, 2);  // the Lab's 3178 at 0.3 µm, the needle's 1059 at 0.5 µm
    EXPECT_EQ(j.action, 1);
    EXPECT_EQ(j.levels, (std::vector<Level>{Level::Alert, Level::Alert, Level::Action, Level::None}));
    EXPECT_EQ(JudgementText(j),
              "Monitoring: 2 records above the alert limit and 1 above the action limit (Lab: location 003 bench 1 "
              "alert; Filling room 2: location 003 beside the filling needle 1 alert, 1 action)");
    EXPECT_TRUE(JudgementText(JudgeDownload(Register{}, frames)).empty()) << "no register, nothing said";
}

TEST(SiteRegister, CalibrationIsDueOnItsDayAndRunsNeedTheirLength) {
    const Register reg = Parsed(kRegister);
    EXPECT_EQ(CalibrationOn(reg, 2150042, 20150302), Calibration::Valid) << "the due day itself";
    EXPECT_EQ(CalibrationOn(reg, 2150042, 20150303), Calibration::PastDue);
    EXPECT_EQ(CalibrationOn(reg, 7, 20150302), Calibration::NotRegistered);
    const DownloadJudgement j = JudgeDownload(reg, {RecordAt(4, 3, 9, 0, 0, 0), RecordAt(4, 2, 9, 0, 0, 0, 1234567)});
    EXPECT_EQ(j.calibration, (std::vector<std::string>{"the instrument 1234567 is not registered",
                                                       "the instrument 2150042 was past its calibration due date "
                                                       "2015-03-02 on 2015-03-03"}));

    using Spans = std::vector<std::pair<std::size_t, std::size_t>>;
    EXPECT_EQ(Runs({true, true, false, true, true, true, false, true, true, true, true}, 3), (Spans{{3, 5}, {7, 10}}));
    EXPECT_EQ(Runs({true, true}, 3), Spans{});
    EXPECT_EQ(ParseDay("2016-02-29"), 20160229);
    EXPECT_FALSE(ParseDay("2015-04-31"));
}
