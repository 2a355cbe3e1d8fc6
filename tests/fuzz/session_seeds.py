#!/usr/bin/env python3
"""Writes the named seeds of the session fuzzer (session_fuzz.cpp says how it reads its input)
into tests/fuzz/corpus/session, or into the folder given. Each is a record count, settings
(id, value[, extra]) and steps (action, trigger, delay in tens of ms)."""
import pathlib, sys
REST, BOX = 0, 1
def heard(n): return 4 * n + 2
TEST, START, NEXT, ALL, STOP, HANGUP, STALL, QUIT = range(8)
WRONG, DELAY, PIECES, EXTRA, STRAYBYTE, LOST, HANGAFTER, SILENT, SHORT, LATE, STRAYFRAME, GARBLED, COUNTLEN, GARBAGE, LOG, MISNUMBERED, SKIPPED, TWOFRAMES = range(1, 19)
def seed(records, settings, steps):
    b = [records]
    for s in settings: b += list(s)
    b.append(0)
    for a, trig, ms in steps: b += [a, trig, ms]
    return bytes(b)
plain = [(TEST, REST, 0), (ALL, REST, 0)]
SEEDS = {
    "healthy_read_all": seed(40, [], plain),
    "ten_wrong_identifications": seed(5, [(WRONG, 10)], plain),
    "stray_byte_before_a_record": seed(8, [(STRAYBYTE, 3)], plain),
    "pieces_with_gaps_and_late_replies": seed(8, [(PIECES, 50), (DELAY, 80)], plain),
    "trailing_bytes": seed(8, [(EXTRA, 3)], plain),
    "stalled_just_after_a_request": seed(6, [(DELAY, 10)], plain + [(STALL, heard(5), 0)]),
    "stalled_in_every_wait": seed(4, [(WRONG, 2), (DELAY, 10)], plain + [(STALL, heard(1), 0), (STALL, heard(4), 0), (STALL, heard(6), 0)]),
    "quit_in_a_record_wait": seed(10, [(SILENT, 3)], [(TEST, REST, 0), (START, REST, 0), (QUIT, heard(6), 10)]),
    "quit_in_a_box": seed(10, [(SILENT, 3)], [(TEST, REST, 0), (START, REST, 0), (QUIT, BOX, 10)]),
    "read_all_again_after_completion": seed(3, [(EXTRA, 2)], plain + [(ALL, REST, 0), (STOP, REST, 0), (ALL, REST, 0)]),
    "stray_frame_alone": seed(10, [(STRAYFRAME, 2), (DELAY, 35)], plain),
    "garbled_record_then_again": seed(5, [(GARBLED, 1)], plain + [(TEST, REST, 0), (START, REST, 0)]),
    "first_two_records_missing_twice": seed(3, [(GARBLED, 1), (STRAYBYTE, 2), (EXTRA, 2)], plain + [(TEST, REST, 0), (ALL, REST, 0)]),
    "hang_up_during_read_all": seed(10, [(HANGAFTER, 4)], plain + [(TEST, REST, 0), (ALL, REST, 0)]),
    "hang_up_by_the_technician": seed(10, [(DELAY, 20)], plain + [(HANGUP, heard(5), 0), (TEST, REST, 0), (START, REST, 0)]),
    "save_error_then_start": seed(10, [(LOG, 2)], [(TEST, REST, 0), (START, REST, 0), (START, REST, 0)]),
    "open_fails_once": seed(5, [(LOG, 8)], [(TEST, REST, 0), (TEST, REST, 0), (ALL, REST, 0)]),
    "com_test_while_read_all_waits": seed(10, [(LATE, 5, 100)], plain + [(TEST, heard(8), 10), (START, REST, 250)]),
    "stop_read_twice_then_read_all": seed(30, [(DELAY, 30)], plain + [(STOP, heard(7), 0), (STOP, heard(7), 0), (ALL, REST, 0)]),
    "start_next_page": seed(40, [], [(TEST, REST, 0), (START, REST, 0), (NEXT, REST, 0)]),
    "lost_count_then_com_test_again": seed(5, [(LOST, 1)], [(TEST, REST, 0), (TEST, REST, 0), (ALL, REST, 0)]),
    "short_frame_then_silence": seed(10, [(SHORT, 4)], [(TEST, REST, 0), (START, REST, 0)]),
    "silent_after_seven_records": seed(11, [(SILENT, 7)], plain),
    "com_test_in_every_wait": seed(10, [(DELAY, 8)], plain + [(TEST, heard(4), 0), (TEST, heard(9), 0), (START, REST, 0), (NEXT, heard(14), 0)]),
    "wrong_count_length": seed(10, [(COUNTLEN, 3)], [(TEST, REST, 0)]) ,
    "eighth_answer_numbered_nine": seed(25, [(MISNUMBERED, 8, 9)], plain),
    "fifth_answer_numbered_as_the_last": seed(25, [(MISNUMBERED, 5, 25)], plain + [(TEST, REST, 0), (ALL, REST, 0)]),
    "answers_one_ahead_from_the_eighth": seed(25, [(SKIPPED, 8)], plain),
    "two_frames_in_one_answer": seed(25, [(TWOFRAMES, 5), (EXTRA, 2)], plain),
}
out = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent / "corpus/session")
out.mkdir(parents=True, exist_ok=True)
for name, data in SEEDS.items(): (out / name).write_bytes(data)
print(len(SEEDS), "seeds in", out)
