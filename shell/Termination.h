// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// When the system asks the program to stop (SIGTERM, SIGINT or SIGHUP: a logout, a shutdown,
// Ctrl+C), the event loops end as after おわり, so that what is kept at the end is kept. A
// second such signal ends the program at once. Call once, with the application made.
void QuitOnTermination();
