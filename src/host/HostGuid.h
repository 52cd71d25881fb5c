// A host GUID in the Windows memory layout, with its text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct HostGuid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};

    bool IsNull() const;
    // The sixteen bytes as the Windows GUID structure lays them out in memory.
    std::array<uint8_t, 16> Bytes() const;
    // Upper-case text with braces, as the host writes it.
    std::string ToText() const;
    // Accepts the text with or without braces, hexadecimal digits of either case.
    static std::optional<HostGuid> Parse(std::string_view text);

    friend bool operator==(const HostGuid&, const HostGuid&) = default;
    friend auto operator<=>(const HostGuid&, const HostGuid&) = default;
};
