// Showing a subject the way the options ask: the one place that chooses among the views.
#ifndef TARNWHISTLE_READER_VIEWS_H
#define TARNWHISTLE_READER_VIEWS_H

#include "reader/sources.h"

namespace reader {

// Shows or checks the subject; returns the status that gives.
int Show(Session &session, const Subject &subject);

} // namespace reader

#endif
