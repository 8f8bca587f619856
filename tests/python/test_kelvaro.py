# The Python module against the command line it must match bit for bit
# (KELVARO: the built kelvaro; KELVARO_EXAMPLE: docs/batch-example.csv).
import datetime as dt
import io
import json
import os
import pickle
import subprocess

import numpy as np
import pandas as pd
import pytest

import kelvaro

KELVARO = os.environ["KELVARO"]
EXAMPLE = os.environ["KELVARO_EXAMPLE"]
ENV = dict(os.environ, LC_ALL="C.UTF-8", QT_QPA_PLATFORM="offscreen")  # '.' in messages
BASE = dict(valuation="2006-03-01 10:00", expiry="2006-04-21")


def run(*args):
    return subprocess.run([KELVARO, *args], env=ENV, capture_output=True, text=True)


def options(texts):
    return [a for k, v in texts.items() for a in ("--" + k.replace("_", "-"), v)]


# (Python inputs, the same inputs as typed on the command line)
VALUED = [
    (dict(valuation=dt.datetime(2006, 3, 1, 10), expiry=dt.date(2006, 4, 21)), BASE),
    (dict(BASE, type="normal", side="put", strike=16, volatility=25.123456789012345, dividend=0.4,
          dividend_date="2006-04-03", steps_per_day=40),
     dict(BASE, type="normal", side="put", strike="16", volatility="25,123456789012345", dividend="0,4",
          dividend_date="2006-04-03", steps_per_day="40")),
    (dict(BASE, type="turbo-sg", strike=13, margin=0.5, expiry="2006-09-15",
          dividends="2006-05-02:0.3;2006-08-01:0.2", steps_per_day=30, holidays="helsinki"),
     dict(BASE, type="turbo-sg", strike="13", margin="0,5", expiry="2006-09-15",
          dividends="2006-05-02:0,3;2006-08-01:0,2", steps_per_day="30", holidays="helsinki")),
]


@pytest.mark.parametrize("inputs,typed", VALUED)
def test_value_equals_kelvaro_json(inputs, typed):
    cli = run(*options(typed), "--json")
    assert cli.returncode == 0, cli.stderr
    want = json.loads(cli.stdout)  # Python's float reading is correctly rounded
    got = kelvaro.value(**inputs)
    for key, expected in want.items():
        name = {"PUp": "p_up", "PMid": "p_mid", "PDown": "p_down"}.get(key) or "".join(
            "_" + c.lower() if c.isupper() else c for c in key).lstrip("_")
        actual = getattr(got, name)
        if key == "ClosureDays":
            expected = [np.datetime64(d) for d in expected]
        if isinstance(expected, list):
            assert np.array_equal(np.asarray(actual), np.asarray(expected)), key
        else:
            assert actual == expected, key


def test_day_rows_are_views_of_one_grid_with_trading_days_and_payoff():
    v = kelvaro.value(**BASE)
    rows = v.day_values
    assert rows.shape == (v.day_count, v.node_count) and rows.flags.c_contiguous
    assert not rows.flags.writeable and np.shares_memory(rows, v.day_values)
    # Weekdays from the valuation day to expiry (numpy's own business-day rule).
    days = np.arange("2006-03-01", "2006-04-22", dtype="datetime64[D]")
    assert np.array_equal(v.day_dates, days[np.is_busday(days)])
    # The expiry day's close is the call's payoff per warrant (strike 15, multiplier 0.2).
    assert np.allclose(rows[-1], np.maximum(v.prices - 15, 0) * 0.2, rtol=0, atol=1e-15)
    del v  # the array keeps the valuation's memory alive
    assert np.isfinite(rows).all() and rows[-1].max() > 0


# The documented dtypes of value_frame, applied to the batch's CSV.
SOLVE_NUMBERS = ("ImpliedVolatility.Volatility", "ImpliedVolatility.Valuations",
                 "ImpliedVolatility.Price")


def read_batch(text):
    names = pd.read_csv(io.StringIO(text), sep=";", nrows=0).columns
    numbers = [c for c in names if c.startswith("AtShare.") or c in SOLVE_NUMBERS]
    dtypes = {c: float if c in numbers else "int64" if c in ("Line", "Status") else str
              for c in names}
    return pd.read_csv(io.StringIO(text), sep=";", keep_default_na=False,
                       na_values={c: [""] for c in numbers}, dtype=dtypes,
                       float_precision="round_trip")


@pytest.fixture(scope="module")
def example():
    df = pd.read_csv(EXAMPLE, sep=";", dtype=str, keep_default_na=False)
    cli = run("--batch", EXAMPLE, "--batch-format", "csv")
    assert cli.returncode == 5, cli.stderr  # two rows of the example fail on purpose
    return df, read_batch(cli.stdout)


@pytest.mark.parametrize("jobs", [1, 2])
def test_value_frame_equals_batch_csv(example, jobs):
    df, batch = example
    pd.testing.assert_frame_equal(kelvaro.value_frame(df, jobs=jobs), batch, check_exact=True)


def test_value_frame_meta_and_shared_inputs(example):
    df, batch = example
    empty = kelvaro.value_frame(df.iloc[:0])
    assert list(empty.columns) == list(batch.columns)
    assert (empty.dtypes == batch.dtypes).all()
    # An input every row shares fills the rows without a column for it.
    got = kelvaro.value_frame(df.drop(columns=["valuation"]), valuation="2006-03-01 10:00")
    pd.testing.assert_frame_equal(got, batch.drop(columns=["valuation"]), check_exact=True)


def test_implied_volatility_solved_and_no_solution(example):
    _, batch = example
    solved = kelvaro.implied_volatility(BASE, 15, 0.15)
    row = batch.iloc[0]
    assert solved.solved and solved.volatility == row["ImpliedVolatility.Volatility"]
    assert solved.valuations == row["ImpliedVolatility.Valuations"]
    assert solved.figures["Value"] == row["AtShare.Value"]
    # Line 5: no volatility from 1 % to 300 % gives 3.10.
    put = dict(type="turbo-shb", side="put", strike="18", expiry="2006-06-16",
               valuation="2006-03-01 10:00", volatility="35")
    none = kelvaro.implied_volatility(put, 15, 3.1)
    assert not none.solved and none.outcome == "NoSolution"
    row = batch.iloc[3]
    assert (none.outcome, none.cause) == (row["ImpliedVolatility.Outcome"],
                                          row["ImpliedVolatility.Cause"])
    assert none.figures["Value"] == row["AtShare.Value"]  # at the row's own 35 %
    assert (none.lowest_volatility, none.highest_volatility) == (1.0, 300.0)
    assert (round(none.value_at_lowest, 2), round(none.value_at_highest, 2)) == (0.57, 0.62)


def test_figures_equal_kelvaro_share_json():
    cli = run(*options(BASE), "--share", "14.5", "--json")
    assert kelvaro.figures(BASE, 14.5) == json.loads(cli.stdout)["AtShare"]


# (Python inputs, command line options): the same refusal, status and words.
REFUSED = [
    (dict(BASE, expiry="2006-13-01"), options(dict(BASE, expiry="2006-13-01"))),
    (dict(BASE, expiry=dt.date(2006, 4, 22)), options(dict(BASE, expiry="2006-04-22"))),
    (dict(BASE, volatility=0), options(dict(BASE, volatility="0"))),
    (dict(valuation="2006-03-01 10:00"), ["--valuation", "2006-03-01 10:00"]),
    (dict(BASE, steps_per_day=0.5), options(dict(BASE, steps_per_day="0.5"))),
]


@pytest.mark.parametrize("inputs,args", REFUSED)
def test_refusals_match_kelvaro(inputs, args):
    cli = run(*args, "--json")
    with pytest.raises(kelvaro.InputError) as e:
        kelvaro.value(**inputs)
    assert (e.value.status, "kelvaro: " + str(e.value) + "\n") == (cli.returncode, cli.stderr)
    again = pickle.loads(pickle.dumps(e.value))  # as Dask ships it back
    assert isinstance(again, ValueError) and (again.status, str(again)) == (e.value.status, str(e.value))


def test_document_read_as_kelvaro_inputs_reads_it(tmp_path):
    doc = tmp_path / "a.kelvaro"
    typed = dict(BASE, expiry="2006-09-15", dividends="2006-05-02:0,3;2006-08-01:0,2",
                 steps_per_day="30", holidays="helsinki", share="15", price="0,25")
    saved = run(*options(typed), "--save-inputs", str(doc), "--json")
    inputs = kelvaro.read_inputs(doc)
    share, price = inputs.pop("share"), inputs.pop("price")
    solved = kelvaro.implied_volatility(inputs, share, price)
    cli = json.loads(run("--inputs", str(doc), "--json").stdout)
    assert json.loads(saved.stdout) == cli  # the document holds what the options gave
    assert (solved.solved, solved.volatility) == (True, cli["ImpliedVolatility"]["Volatility"])
    doc.write_text('{"format": "kelvarolaskuri", "version": 1, "strike": "x"}')
    with pytest.raises(kelvaro.InputError) as e:
        kelvaro.read_inputs(doc)
    cli = run("--inputs", str(doc))
    assert (e.value.status, "kelvaro: " + str(e.value) + "\n") == (cli.returncode, cli.stderr)


@pytest.mark.parametrize("inputs", [dict(BASE, strikee=15), dict(BASE, strike=True),
                                    dict(BASE, valuation=dt.datetime(2006, 3, 1, 10, 0, 30)),
                                    dict(BASE, share=15), dict(BASE, strike=[15])])
def test_python_values_that_no_reader_takes(inputs):
    with pytest.raises(kelvaro.InputError) as e:
        kelvaro.value(**inputs)
    assert e.value.status == 2


def test_dask_on_two_worker_processes(example, tmp_path):
    dd = pytest.importorskip("dask.dataframe")
    distributed = pytest.importorskip("distributed")
    df, batch = example
    df.iloc[:5].to_csv(tmp_path / "warrants-1.csv", sep=";", index=False)
    df.iloc[5:].to_csv(tmp_path / "warrants-2.csv", sep=";", index=False)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster):
        ddf = dd.read_csv(str(tmp_path / "warrants-*.csv"), sep=";", dtype=str,
                          keep_default_na=False)
        got = ddf.map_partitions(kelvaro.value_frame, jobs=1,
                                 meta=kelvaro.result_meta(ddf.columns)).compute()
    # Each file counts its own lines.
    assert got["Line"].tolist() == [2, 3, 4, 5, 6, 2, 3, 4]
    pd.testing.assert_frame_equal(got.reset_index(drop=True).drop(columns="Line"),
                                  batch.drop(columns="Line"), check_exact=True)


@pytest.mark.parametrize("columns", [["strike", "foo"], ["strike", "strike"]])
def test_frame_columns_refused_as_the_batch_refuses_its_header(columns, tmp_path):
    path = tmp_path / "list.csv"
    path.write_text(";".join(columns) + "\n" + ";".join("1" for _ in columns) + "\n")
    cli = run("--batch", str(path))
    with pytest.raises(kelvaro.InputError) as e:
        kelvaro.value_frame(pd.DataFrame([[1] * len(columns)], columns=columns))
    assert (e.value.status, f"kelvaro: --batch: {e.value}\n") == (cli.returncode, cli.stderr)
