#include "ondevice/PlaceIndex.h"

#include <geonames.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace oxel {
namespace {

constexpr double earthRadiusKm = 6371.0;
constexpr double townPopulation = 15000.0;
constexpr double townReachKm = 5.0;
constexpr int latitudeCells = 180;
constexpr int longitudeCells = 360;
constexpr double kmPerDegree = earthRadiusKm * std::numbers::pi / 180.0;

double radians(double degrees)
{
    return degrees * std::numbers::pi / 180.0;
}

struct UnitVector {
    double x, y, z;
};

UnitVector unitVector(double latitude, double longitude)
{
    const double phi = radians(latitude);
    const double lambda = radians(longitude);
    return {std::cos(phi) * std::cos(lambda), std::cos(phi) * std::sin(lambda), std::sin(phi)};
}

// The distance along the surface between two unit vectors `chord` apart.
double surfaceKm(double chord)
{
    return 2.0 * earthRadiusKm * std::asin(std::min(1.0, chord / 2.0));
}

int latitudeRow(double latitude)
{
    return std::clamp(int(std::floor(latitude + 90.0)), 0, latitudeCells - 1);
}

int longitudeColumn(double longitude)
{
    const double wrapped = longitude - 360.0 * std::floor((longitude + 180.0) / 360.0);
    return std::clamp(int(std::floor(wrapped + 180.0)), 0, longitudeCells - 1);
}

std::string textOf(const gchar* text)
{
    return text ? std::string(text) : std::string();
}

} // namespace

double PlaceIndex::reachKm(uint32_t population)
{
    return townReachKm * std::cbrt(double(population) / townPopulation);
}

size_t PlaceIndex::cellOf(double latitude, double longitude)
{
    return size_t(latitudeRow(latitude)) * longitudeCells + size_t(longitudeColumn(longitude));
}

PlaceIndex::PlaceIndex(std::vector<Place> places) : places_(std::move(places))
{
    std::vector<std::pair<size_t, uint32_t>> cells;
    cells.reserve(places_.size());
    for (uint32_t i = 0; i < places_.size(); ++i) {
        const Place& place = places_[i];
        if (!std::isfinite(place.latitude) || !std::isfinite(place.longitude) || std::abs(place.latitude) > 90.0)
            continue;
        cells.emplace_back(cellOf(place.latitude, place.longitude), i);
    }
    std::sort(cells.begin(), cells.end());
    cellStarts_.assign(size_t(latitudeCells) * longitudeCells + 1, 0);
    entries_.reserve(cells.size());
    for (const auto& [cell, i] : cells) {
        const UnitVector v = unitVector(places_[i].latitude, places_[i].longitude);
        // No reach goes beyond the search radius of a lookup.
        entries_.push_back({v.x, v.y, v.z, std::min(reachKm(places_[i].population), regionReachKm), i});
        ++cellStarts_[cell + 1];
    }
    for (size_t cell = 1; cell < cellStarts_.size(); ++cell) cellStarts_[cell] += cellStarts_[cell - 1];
}

void PlaceIndex::consider(const Indexed& entry, double x, double y, double z, Nearest& nearest) const
{
    const double chord = std::hypot(entry.x - x, entry.y - y, entry.z - z);
    const double km = surfaceKm(chord);
    if (km <= entry.reachKm && entry.reachKm > 0) {
        const double score = km / entry.reachKm;
        if (!nearest.locality || score < nearest.localityScore) {
            nearest.locality = entry.place;
            nearest.localityScore = score;
        }
    }
    if (km <= regionReachKm && (!nearest.nearest || km < nearest.nearestKm)) {
        nearest.nearest = entry.place;
        nearest.nearestKm = km;
    }
}

std::optional<std::string> PlaceIndex::reverseGeocode(double latitude, double longitude) const
{
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || std::abs(latitude) > 90.0) return std::nullopt;
    const UnitVector point = unitVector(latitude, longitude);
    // Every place that can reach the point lies within the larger of the region reach and the
    // widest locality reach; a degree of longitude narrows towards the poles.
    const double searchKm = regionReachKm + 1.0;
    const double latitudeSpan = searchKm / kmPerDegree;
    const int firstRow = latitudeRow(latitude - latitudeSpan);
    const int lastRow = latitudeRow(latitude + latitudeSpan);
    const double narrowest = std::cos(radians(std::min(90.0, std::abs(latitude) + latitudeSpan + 1.0)));
    const double longitudeSpan = searchKm / (kmPerDegree * std::max(narrowest, 1e-6));
    const int columnSpan = int(std::min(double(longitudeCells / 2), std::ceil(longitudeSpan) + 1.0));
    const int centreColumn = longitudeColumn(longitude);

    Nearest nearest;
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int offset = -columnSpan; offset <= columnSpan; ++offset) {
            if (offset == columnSpan && columnSpan == longitudeCells / 2) break; // the whole row once
            const int column = ((centreColumn + offset) % longitudeCells + longitudeCells) % longitudeCells;
            const size_t cell = size_t(row) * longitudeCells + size_t(column);
            for (uint32_t e = cellStarts_[cell]; e < cellStarts_[cell + 1]; ++e)
                consider(entries_[e], point.x, point.y, point.z, nearest);
        }
    }
    if (nearest.locality) return places_[*nearest.locality].name;
    if (nearest.nearest && !places_[*nearest.nearest].region.empty()) return places_[*nearest.nearest].region;
    return std::nullopt;
}

std::vector<Place> PlaceIndex::systemPlaces()
{
    const gint count = geonames_get_n_cities();
    std::vector<Place> places;
    places.reserve(size_t(std::max(count, 0)));
    for (gint i = 0; i < count; ++i) {
        GeonamesCity* city = geonames_get_city(i);
        if (!city) continue;
        places.push_back({textOf(geonames_city_get_name(city)), textOf(geonames_city_get_state(city)),
                          geonames_city_get_latitude(city), geonames_city_get_longitude(city),
                          geonames_city_get_population(city)});
        geonames_city_free(city);
    }
    return places;
}

const PlaceIndex& PlaceIndex::standard()
{
    static const PlaceIndex index(systemPlaces());
    return index;
}

} // namespace oxel
