#include "SidFilter.h"

// The machine resets its stages when it starts a tune, after the exports have reset the
// wrapper and copied the hold-back options in; passing the reset on would switch the
// options off again, so there is nothing to clear here.
void TSidFilter::reset() {}
