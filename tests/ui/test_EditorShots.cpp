// The project editor's pages rendered for review.
#include "EditorFixture.h"
