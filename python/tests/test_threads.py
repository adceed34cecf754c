import threading

import zorvex
from conftest import psid

# Play writes the volume once a frame, for as long as anyone listens.
ENDLESS = psid(b"\x60", play=b"\xA9\x0F\x8D\x18\xD4\x60")


def test_a_thread_per_tune_gives_each_its_stream_alone(corpus):
    tunes = sorted((corpus / "C64Music/MUSICIANS").rglob("*.sid"))
    chosen = [tunes[i * (len(tunes) // 8)] for i in range(8)]

    def stream(path):
        with zorvex.open(path) as tune:
            return list(tune.play(seconds=3))

    alone = [stream(path) for path in chosen]
    together = [None] * len(chosen)

    def worker(i):
        together[i] = stream(chosen[i])

    threads = [threading.Thread(target=worker, args=(i,)) for i in range(len(chosen))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert all(alone) and together == alone


def test_closing_from_another_thread_ends_the_stream_with_an_error(write_tune):
    tune = zorvex.open(write_tune(ENDLESS))
    started, outcome = threading.Event(), []

    def listen():
        try:
            for count, _ in enumerate(tune.play(seconds=3600)):
                if count == 50:
                    started.set()
        except ValueError as error:
            outcome.append(error)
        started.set()

    thread = threading.Thread(target=listen)
    thread.start()
    assert started.wait(60)
    tune.close()
    thread.join(60)
    assert not thread.is_alive() and len(outcome) == 1 and "closed" in str(outcome[0])
