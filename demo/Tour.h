// The demo's tour: exceptions and their records, file streams, bit fields and a digest.
#pragma once

namespace zelio_demo
{

int RunTour();

} // namespace zelio_demo
