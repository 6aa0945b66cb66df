#include "session/session.hpp"
