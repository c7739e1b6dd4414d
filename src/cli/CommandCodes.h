#pragma once

#include <cstdint>

namespace quillet {

// A component code is one bit; its commands are that bit plus the command's index, and its invalid
// command code lies one below the bit. The codes never leave the process.
inline constexpr uint32_t COMPONENT_HELP = 0;
inline constexpr uint32_t COMPONENT_APPLICATION = 0x01000000;
inline constexpr uint32_t COMPONENT_CACHE = 0x02000000;
inline constexpr uint32_t COMPONENT_CLIENT = 0x04000000;
inline constexpr uint32_t COMPONENT_INVALID = 0xFFFFFFFF;

inline constexpr uint32_t CMD_NONE = 0xFFFFFFFF;

inline constexpr uint32_t CMD_APP_ADD = COMPONENT_APPLICATION + 0;
inline constexpr uint32_t CMD_APP_REMOVE = COMPONENT_APPLICATION + 1;
inline constexpr uint32_t CMD_APP_START = COMPONENT_APPLICATION + 2;
inline constexpr uint32_t CMD_APP_RUN_CMD = COMPONENT_APPLICATION + 3;
inline constexpr uint32_t CMD_APP_STOP = COMPONENT_APPLICATION + 4;
inline constexpr uint32_t CMD_APP_GET_ID_LIST = COMPONENT_APPLICATION + 5;
inline constexpr uint32_t CMD_APP_INVALID = COMPONENT_APPLICATION - 1;

inline constexpr uint32_t CMD_CACHE_SIZE = COMPONENT_CACHE + 0;
inline constexpr uint32_t CMD_CACHE_LOCATION = COMPONENT_CACHE + 1;
inline constexpr uint32_t CMD_CACHE_CLEAR = COMPONENT_CACHE + 2;
inline constexpr uint32_t CMD_CACHE_MULTISOURCE = COMPONENT_CACHE + 3;
inline constexpr uint32_t CMD_CACHE_INVALID = COMPONENT_CACHE - 1;

inline constexpr uint32_t CMD_CLIENT_START = COMPONENT_CLIENT + 0;
inline constexpr uint32_t CMD_CLIENT_STOP = COMPONENT_CLIENT + 1;
inline constexpr uint32_t CMD_CLIENT_INVALID = COMPONENT_CLIENT - 1;

// Multisource sub-commands.
inline constexpr int32_t MS_NONE = -1;
inline constexpr int32_t MS_ADD = 0;
inline constexpr int32_t MS_DELETE = 1;
inline constexpr int32_t MS_GET_INFO = 2;
inline constexpr int32_t MS_GET_ID_LIST = 3;

static_assert(CMD_APP_INVALID == 0x00FFFFFF && CMD_CACHE_INVALID == 0x01FFFFFF &&
              CMD_CLIENT_INVALID == 0x03FFFFFF);

} // namespace quillet
