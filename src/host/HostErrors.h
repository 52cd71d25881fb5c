// Host error codes: the 32-bit results of every host operation, and the ones the add-on tells apart.
#pragma once
#include <cstdint>

using HostError = int32_t;

// 0 is success for every host operation.
inline constexpr HostError kHostOk = 0;
// The requested item (view, camera, story) does not exist.
inline constexpr HostError kHostErrNotFound = static_cast<HostError>(0x81060065u);
// The host refused the arguments it was given.
inline constexpr HostError kHostErrBadParameters = static_cast<HostError>(0x81060067u);
// An image could not be read.
inline constexpr HostError kHostErrUnreadableImage = static_cast<HostError>(0x81060068u);
// The front window is not the one the operation needs.
inline constexpr HostError kHostErrWrongWindow = static_cast<HostError>(0x8106006Bu);
// The host could not allocate memory.
inline constexpr HostError kHostErrOutOfMemory = static_cast<HostError>(0x81060002u);
// The host's function table is missing: what every operation yields with no host installed.
inline constexpr HostError kHostErrNoHost = static_cast<HostError>(0x81060387u);
// The host refused the command.
inline constexpr HostError kHostErrRefused = static_cast<HostError>(0x81060388u);
