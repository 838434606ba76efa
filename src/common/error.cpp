#include "common/error.h"

G_DEFINE_QUARK(corvo-error-quark, corvo_error)
