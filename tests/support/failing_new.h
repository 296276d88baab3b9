// Makes the next nothrow allocation of the calling thread fail: how a test denies a
// service the objects it allocates with new (std::nothrow). The test program links
// the replacement operator new that obeys it.
#pragma once

namespace hostlens::test {

void FailNextNothrowNew();

}  // namespace hostlens::test
