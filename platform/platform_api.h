// Visibility of the platform layer's exports: the one library every module of a process shares.
#pragma once

#define QUVI_PLATFORM_API __attribute__((visibility("default")))
