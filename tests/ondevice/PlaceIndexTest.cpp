#include "ondevice/PlaceIndex.h"

#include <gtest/gtest.h>

#include <cmath>

namespace oxel {
namespace {

// About 1 km in latitude.
constexpr double kmNorth = 1.0 / 111.19;

std::vector<Place> fixturePlaces()
{
    return {
        {"London", "England", 51.5074, -0.1278, 8'000'000}, // reach about 40 km
        {"Croydon", "England", 51.3762, -0.0982, 170'000},  // reach about 11 km, inside London's
        {"Thirsk", "England", 54.2330, -1.3430, 15'000},    // reach 5 km
        {"Kolonia", "Dateline", -16.5000, -179.9900, 15'000},
        {"Polar Camp", "Arctic", 89.5000, 170.0000, 15'000},
        {"Hamlet", "Valais", 46.0000, 7.7000, 0},
    };
}

class PlaceIndexFixture : public ::testing::Test {
protected:
    PlaceIndex index{fixturePlaces()};
};

TEST_F(PlaceIndexFixture, GivesTheLocalityClosestForItsReach)
{
    EXPECT_EQ(index.reverseGeocode(51.5074, -0.1278), "London");
    // Croydon's centre lies in both reaches, relatively nearer Croydon.
    EXPECT_EQ(index.reverseGeocode(51.3762, -0.0982), "Croydon");
    // 15 km north of Croydon: beyond its reach, within London's.
    EXPECT_EQ(index.reverseGeocode(51.3762 + 15 * kmNorth, -0.0982), "London");
}

TEST_F(PlaceIndexFixture, ATownReachesToItsOwnEdgeThenItsRegionTakesOver)
{
    EXPECT_EQ(index.reverseGeocode(54.2330 + 4.9 * kmNorth, -1.3430), "Thirsk");
    EXPECT_EQ(index.reverseGeocode(54.2330 + 5.2 * kmNorth, -1.3430), "England");
    EXPECT_EQ(index.reverseGeocode(54.2330 + 149 * kmNorth, -1.3430), "England");
    EXPECT_EQ(index.reverseGeocode(54.2330 + 151 * kmNorth, -1.3430), std::nullopt);
    // A place without a population names only its region.
    EXPECT_EQ(index.reverseGeocode(46.0, 7.7), "Valais");
}

TEST_F(PlaceIndexFixture, LooksAcrossTheDateLineAndOverThePole)
{
    EXPECT_EQ(index.reverseGeocode(-16.5, 179.99), "Kolonia");
    EXPECT_EQ(index.reverseGeocode(-16.5, -180.0), "Kolonia");
    EXPECT_EQ(index.reverseGeocode(-16.5, 180.0), "Kolonia");
    // About 110 km from the camp, over the pole: its region.
    EXPECT_EQ(index.reverseGeocode(89.5, -10.0), "Arctic");
    EXPECT_EQ(index.reverseGeocode(89.98, 0.0), "Arctic");
    EXPECT_EQ(index.reverseGeocode(90.0, 0.0), "Arctic");
    EXPECT_EQ(index.reverseGeocode(-90.0, 0.0), std::nullopt);
}

TEST_F(PlaceIndexFixture, RefusesPointsOffTheGlobe)
{
    EXPECT_EQ(index.reverseGeocode(NAN, 0), std::nullopt);
    EXPECT_EQ(index.reverseGeocode(91, 0), std::nullopt);
    EXPECT_EQ(index.reverseGeocode(51.5074, INFINITY), std::nullopt);
    EXPECT_EQ(index.reverseGeocode(51.5074, -0.1278 + 720), "London");
    EXPECT_EQ(PlaceIndex({}).reverseGeocode(51.5, 0), std::nullopt);
}

TEST(PlaceIndex, ReachGrowsWithTheCubeRootOfThePopulation)
{
    EXPECT_DOUBLE_EQ(PlaceIndex::reachKm(15'000), 5.0);
    EXPECT_NEAR(PlaceIndex::reachKm(120'000), 10.0, 1e-9);
    EXPECT_NEAR(PlaceIndex::reachKm(8'900'000), 42.0, 0.1);
    EXPECT_EQ(PlaceIndex::reachKm(0), 0.0);
}

TEST(PlaceIndexSystem, NamesRealPlacesFromTheSystemData)
{
    const PlaceIndex& index = PlaceIndex::standard();
    EXPECT_GT(index.size(), 20000u);
    EXPECT_EQ(index.reverseGeocode(53.9623, -1.0819), "York");  // the Minster
    EXPECT_EQ(index.reverseGeocode(46.0207, 7.7491), "Valais"); // Zermatt
    EXPECT_EQ(index.reverseGeocode(55.0, 3.0), std::nullopt);   // the North Sea
}

} // namespace
} // namespace oxel
