#pragma once

// Report lengths from a HID report descriptor, counted the way Windows' HID
// class driver counts them: the longest report of each direction in bytes, plus
// one for the report id byte (present in the count even when the device uses no
// report ids). Also whether the descriptor declares a FIDO (CTAPHID) interface.

#include <cstddef>
#include <cstdint>

namespace pinvale {

struct ReportDescriptorInfo {
  bool usesReportIds = false;
  std::uint16_t inputReportLength = 0;   // 0 when there is no input report
  std::uint16_t outputReportLength = 0;  // 0 when there is no output report
  // A top-level collection with the FIDO usage page 0xF1D0 and usage 0x01.
  bool declaresFido = false;
  // The report id of that collection's output report; 0 without report ids.
  std::uint8_t fidoOutputReportId = 0;
};

constexpr std::uint16_t kFidoUsagePage = 0xF1D0;
constexpr std::uint16_t kFidoUsageCtaphid = 0x01;

// False when the descriptor is malformed: an item running past the end, or a
// Push/Pop that does not balance.
bool ParseReportDescriptor(const std::uint8_t* data, std::size_t size, ReportDescriptorInfo& info);

}  // namespace pinvale
