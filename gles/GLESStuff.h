// GLESStuff: the EGL display, offscreen GL ES 1.1 contexts with pbuffers and the fixed GL state.
#pragma once
