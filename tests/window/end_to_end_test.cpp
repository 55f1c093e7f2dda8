// placeholder until written
#include <gtest/gtest.h>
