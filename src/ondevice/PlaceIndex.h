#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace oxel {

// A named place with its region (the first administrative level) and its population.
struct Place {
    std::string name;
    std::string region;
    double latitude = 0;
    double longitude = 0;
    uint32_t population = 0;
};

// Reverse geocoding on this computer: the stand-in for the platform's geocoder. The places sit in
// a grid of 1-degree cells as unit vectors, so a lookup reads only the cells near the point,
// across the 180th meridian and over the poles alike. Immutable once built; any thread may ask.
class PlaceIndex {
public:
    // How far from a point a place's region is still given.
    static constexpr double regionReachKm = 150.0;

    explicit PlaceIndex(std::vector<Place> places);

    // The locality whose reach covers the point (the nearest relative to its reach), else the
    // region of the nearest place within `regionReachKm`, else nothing.
    std::optional<std::string> reverseGeocode(double latitude, double longitude) const;

    // How far a place reaches: 5 km for a town of 15,000, growing with the cube root of its
    // population (London about 42 km); 0 for a place without one.
    static double reachKm(uint32_t population);

    size_t size() const { return places_.size(); }

    // The places of the system's geographic names library, as it names them in this locale.
    static std::vector<Place> systemPlaces();
    // The index of this process over the system's places, read on first use (a blocking read:
    // call it on the work pool).
    static const PlaceIndex& standard();

private:
    struct Indexed {
        double x, y, z;
        double reachKm;
        uint32_t place;
    };
    struct Nearest {
        std::optional<uint32_t> locality;
        double localityScore = 0;
        std::optional<uint32_t> nearest;
        double nearestKm = 0;
    };

    void consider(const Indexed& entry, double x, double y, double z, Nearest& nearest) const;
    static size_t cellOf(double latitude, double longitude);

    std::vector<Place> places_;
    std::vector<Indexed> entries_;     // grouped by cell
    std::vector<uint32_t> cellStarts_; // into `entries_`, one past the last cell at the end
};

} // namespace oxel
