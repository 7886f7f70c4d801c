#include "site/RoomFinder.h"

#include <memory>

namespace oront::site {

const Instrument* InstrumentOf(const Register& reg, std::uint32_t serial) {
    for (const Instrument& ins : reg.instruments)
        if (ins.serial == serial) return &ins;
    return nullptr;
}

classify::RoomFinder RegisterRooms(const Register& reg, const classify::Settings& user, GivenSettings given) {
    const auto places = std::make_shared<PlaceFinder>(reg);
    classify::RoomFinder finder;
    finder.room = [places, user, given](int location, int day) -> std::optional<classify::RoomOfRun> {
        const Place place = places->At(location, day);
        if (place.room == nullptr) return std::nullopt;
        const Room& room = *place.room;
        classify::RoomOfRun out{room.id, room.name, user};
        classify::Settings& s = out.settings;
        if (!given.standard) s.standard = room.standard;
        if (!given.target) {
            s.target.classTenths = room.classTenths;
            s.target.grade = room.grade;
        }
        if (!given.state) {
            // The register declares the state of its rooms.
            s.target.state = room.state;
            s.target.stateDeclared = true;
        }
        if (!given.area) s.areaM2 = room.areaM2;
        return out;
    };
    finder.place = [places](int location, int day) {
        const Place place = places->At(location, day);
        if (place.location == nullptr) return classify::SamplingPlace{};
        return classify::SamplingPlace{place.location->name, place.location->xM, place.location->yM, true};
    };
    return finder;
}

}  // namespace oront::site
