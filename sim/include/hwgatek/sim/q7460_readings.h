// Known Q7460 readings: data bytes and the millivolts they stand for, the
// table every deliverable's conversion is checked against. Sign in bit 7 of
// the high byte (set: positive), magnitude in its low four bits and the low
// byte, count * 5000 / 4096 truncated toward zero.
#pragma once

#include <cstdint>

namespace hwgatek::sim {

struct Q7460Reading {
  std::uint8_t low, high;
  std::int32_t millivolts;
};

inline constexpr Q7460Reading kQ7460Readings[] = {
    {0x00, 0x80, 0},     {0x00, 0x00, 0},     {0x01, 0x80, 1},     {0x01, 0x00, -1},
    {0x05, 0x80, 6},     {0x05, 0x00, -6},    {0x00, 0x81, 312},   {0x00, 0x01, -312},
    {0x00, 0x88, 2500},  {0x00, 0x08, -2500}, {0xFF, 0x8F, 4998},  {0xFF, 0x0F, -4998},
    {0xFF, 0xFF, 4998},  {0xFF, 0x7F, -4998},  // bits 4-6 of the high byte are ignored
    {0x02, 0x00, -2},    {0x03, 0x00, -3},    {0x00, 0xF0, 0},     {0x00, 0x70, 0},
};

}  // namespace hwgatek::sim
