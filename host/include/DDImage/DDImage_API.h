// Symbol visibility of the host image library.
#pragma once

#define DDImage_API __attribute__((visibility("default")))
