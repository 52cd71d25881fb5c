// The request texts of a soak round: every request type of the bridge with the payload shapes
// the page sends (good ones, refused ones, ones naming missing files), and a few texts that the
// bridge must drop without a reply.
#pragma once
#include <cstdint>
#include <random>
#include <string>
#include <vector>

// What the texts may name: entries of the store, files on disk, and the service's uploads and
// results at the round's start.
// One of the items, and true with probability p, drawn from the round's generator.
template <typename T>
const T& Pick(std::mt19937_64& random, const std::vector<T>& items) {
    return items[std::uniform_int_distribution<size_t>(0, items.size() - 1)(random)];
}
inline bool Chance(std::mt19937_64& random, double p) { return std::bernoulli_distribution(p)(random); }

struct SoakSources {
    std::string pngRef, gifRef, textRef, missingRef;
    std::string pickedPicture, pickedVideo, missingPicture;
    std::vector<std::string> uploadIds, jobIds, resultPaths;
    // The views of the round's first listing.
    std::vector<std::string> viewIds;
};

struct SoakRequest {
    std::string id;
    std::string type;  // the request type, or "" for a text that must be dropped
    std::string text;
    // A "setState" request's state as the add-on writes it, for the check of the state files.
    std::string state;
    // A "place" request's label.
    std::string label;
};

// The round's texts, in posting order: `count` requests with ids "<prefix><n>" and about one in
// thirty dropped texts among them.
std::vector<SoakRequest> MakeSoakRequests(std::mt19937_64& random, const SoakSources& sources, const std::string& prefix,
                                          int count);
