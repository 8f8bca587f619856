"""Rows per second of kelvaro.value_frame with 1 and 2 jobs against kelvaro
--batch on the same file (docs/batch-example.csv's rows 25 times over), and
the same rows on a Dask LocalCluster of two single-threaded worker processes.

    PYTHONPATH=build/python /usr/bin/python3 bench/value_frame_rate.py build/cli/kelvaro

A shared machine's figures spread widely: run it a few times.
"""
import os
import subprocess
import sys
import tempfile
import time

import pandas as pd

import kelvaro


def main():
    kelvaro_bin = sys.argv[1]
    here = os.path.dirname(os.path.abspath(__file__))
    example = pd.read_csv(os.path.join(here, "..", "docs", "batch-example.csv"), sep=";",
                          dtype=str, keep_default_na=False)
    rows = pd.concat([example] * 25, ignore_index=True)
    work = tempfile.mkdtemp()
    path = os.path.join(work, "warrants.csv")
    rows.to_csv(path, sep=";", index=False)
    env = dict(os.environ, LC_ALL="C.UTF-8")
    for jobs in (1, 2):
        start = time.perf_counter()
        subprocess.run([kelvaro_bin, "--batch", path, "--batch-format", "csv", "--jobs", str(jobs)],
                       env=env, stdout=subprocess.DEVNULL, check=False)
        batch = time.perf_counter() - start
        start = time.perf_counter()
        kelvaro.value_frame(rows, jobs=jobs)
        frame = time.perf_counter() - start
        print(f"jobs {jobs}: kelvaro --batch {len(rows) / batch:.1f} rows/s, "
              f"value_frame {len(rows) / frame:.1f} rows/s")

    import dask.dataframe as dd
    import distributed
    half = len(rows) // 2
    rows.iloc[:half].to_csv(os.path.join(work, "warrants-1.csv"), sep=";", index=False)
    rows.iloc[half:].to_csv(os.path.join(work, "warrants-2.csv"), sep=";", index=False)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster):
        ddf = dd.read_csv(os.path.join(work, "warrants-*.csv"), sep=";", dtype=str,
                          keep_default_na=False)
        start = time.perf_counter()
        out = ddf.map_partitions(kelvaro.value_frame, jobs=1,
                                 meta=kelvaro.result_meta(ddf.columns)).compute()
        seconds = time.perf_counter() - start
        print(f"Dask, 2 workers x 1 thread, jobs=1: {len(out)} rows in {seconds:.2f} s "
              f"({len(out) / seconds:.1f} rows/s)")


if __name__ == "__main__":
    main()
