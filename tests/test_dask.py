"""Dask, through the helpers of examples/dask_blockwise.py.

Blockwise evaluation of d, p and q functions must equal the single call bit
for bit; chunked draws must be a function of the base seed, shape and
chunking alone (any scheduler, any worker count), block b being exactly the
draws of an Engine seeded with chunk_seed(seed, b, numblocks); and the block
seeds must be distinct and match the table in docs/reproducibility.md.
"""
import importlib.util
import itertools
import re

import numpy as np
import pytest

from conftest import need

da = need("dask.array")

import distmill as dm  # noqa: E402
from support import ROOT  # noqa: E402
from support.equality import same_bits  # noqa: E402


@pytest.fixture(scope="module")
def ex():
    # Loaded from its file and not entered in sys.modules, so that process
    # workers receive its functions by value instead of importing it.
    found = importlib.util.spec_from_file_location("dask_blockwise_example", ROOT / "examples" / "dask_blockwise.py")
    mod = importlib.util.module_from_spec(found)
    found.loader.exec_module(mod)
    return mod


RNG = np.random.default_rng(20240601)
X = RNG.normal(1.0, 2.0, size=(37, 23))
X.flat[::17] = [np.nan, np.inf, -np.inf, 0.0, -1.0, 1e-300][: len(X.flat[::17])] * (len(X.flat[::17]) // 6 + 1)
P = RNG.uniform(size=(37, 23))
P.flat[::19] = 0.0
P[3, 4], P[5, 6], P[7, 8] = 1.0, np.nan, 1.5
K = RNG.integers(-1, 25, size=(37, 23))
COL = RNG.uniform(0.3, 6.0, size=23)          # one parameter per column
ROW = RNG.uniform(0.5, 3.0, size=(37, 1))     # one per row
FLAGS = np.arange(23) % 2 == 0                # element-wise flag, per column

CASES = [
    ("dnorm", (X, 0.5, COL), {}),
    ("pnorm", (X, ROW, COL), {"log_p": True}),
    ("qnorm", (P, ROW, 2.0), {}),
    ("dlnorm", (np.abs(X), 0.0, ROW), {"log": FLAGS}),
    ("pgamma", (np.abs(X), COL, ROW), {}),
    ("qgamma", (P, COL, 1.5), {}),
    ("dinvgamma", (np.abs(X), COL, 2.0), {"log": True}),
    ("qchisq", (P, COL), {}),
    ("pbeta", (P, COL, ROW), {"log_p": True}),
    ("qbeta", (P, 2.0, COL), {}),
    ("df", (np.abs(X), COL, 7.0), {}),
    ("qt", (P, COL + 1.0), {}),
    ("pt", (X, ROW), {}),
    ("dbinom", (K, 24, P), {}),
    ("pbinom", (K, 24, 0.3), {"log_p": True}),
    ("qbinom", (P, 24, 0.3), {}),
    ("ppois", (K, COL), {}),
    ("qpois", (P, COL * 3.0), {}),
    ("dbern", (K % 3, P), {}),
    ("punif", (X, -1.0, ROW + 1.0), {}),
    ("qweibull", (P, COL, ROW), {}),
    ("dcauchy", (X, ROW, 0.5), {}),
    ("plogis", (X, 0.0, COL), {}),
    ("qlaplace", (P, ROW, COL), {}),
    ("dexp", (X, COL), {"log": FLAGS}),
]


@pytest.mark.parametrize("name,args,kwargs", CASES, ids=[c[0] for c in CASES])
def test_blockwise_equals_single_call(ex, name, args, kwargs):
    fn = getattr(dm, name)
    chunked = [da.from_array(args[0], chunks=(10, 7))] + list(args[1:])
    result = ex.elementwise(fn, *chunked, **kwargs)
    assert result.numblocks == (4, 4)
    assert same_bits(result.compute(), fn(*args, **kwargs))


def test_blockwise_aligns_differently_chunked_arguments(ex):
    x = da.from_array(X, chunks=(20, 5))
    mu = da.from_array(np.broadcast_to(ROW, X.shape).copy(), chunks=(6, 23))
    sigma = da.from_array(COL, chunks=9)
    got = ex.elementwise(dm.plnorm, x, mu, sigma).compute(scheduler="synchronous")
    assert same_bits(got, dm.plnorm(X, ROW, COL))


SAMPLERS = [
    (dm.rnorm, (0.5, 2.0)),
    (dm.rgamma, (0.7, 1.0)),   # boosted shape: a variable number of engine outputs per draw
    (dm.rt, (3.0,)),
    (dm.rpois, (14.0,)),
    (dm.rbinom, (9, 0.4)),
]


@pytest.mark.parametrize("sampler,params", SAMPLERS, ids=[s.__name__ for s, _ in SAMPLERS])
def test_each_block_is_the_draws_of_its_own_engine(ex, sampler, params):
    shape, chunks = (29, 17), (8, 6)
    arr = ex.random_array(sampler, *params, shape=shape, chunks=chunks, seed=-12345)
    got = arr.compute(scheduler="synchronous")
    starts = [np.cumsum((0,) + c) for c in arr.chunks]
    for idx in itertools.product(*(range(n) for n in arr.numblocks)):
        sl = tuple(slice(s[i], s[i + 1]) for s, i in zip(starts, idx))
        block_shape = [s.stop - s.start for s in sl]
        engine = dm.Engine(ex.chunk_seed(-12345, idx, arr.numblocks))
        assert same_bits(got[sl], sampler(*params, block_shape, engine)), idx


def test_draws_are_the_same_for_every_scheduler_and_worker_count(ex):
    arr = ex.random_array(dm.rgamma, 0.7, 2.0, shape=(60, 45), chunks=(16, 10), seed=2024)
    reference = arr.compute(scheduler="synchronous")
    for kwargs in ({"scheduler": "threads", "num_workers": 1}, {"scheduler": "threads", "num_workers": 4},
                   {"scheduler": "processes", "num_workers": 2}):
        assert same_bits(arr.compute(**kwargs), reference), kwargs
    # Blocks computed on their own, in reverse order, are the same blocks.
    blocks = [arr.blocks[idx].compute() for idx in reversed(list(np.ndindex(*arr.numblocks)))]
    assert same_bits(blocks[0], reference[48:, 40:])
    # A fresh graph from the same arguments gives the same values.
    again = ex.random_array(dm.rgamma, 0.7, 2.0, shape=(60, 45), chunks=(16, 10), seed=2024)
    assert same_bits(again.compute(scheduler="threads"), reference)


def test_block_seeds_are_distinct_and_32_bit(ex):
    for grid in [(256, 256), (7, 11, 13), (100_000,)]:
        seeds = [ex.chunk_seed(17, idx, grid) for idx in np.ndindex(*grid)]
        assert len(set(seeds)) == len(seeds), grid
        assert all(-2**31 <= s < 2**31 and isinstance(s, int) for s in seeds)


def test_nearby_base_seeds_do_not_share_shifted_block_seeds(ex):
    grid = (1000,)
    a = [ex.chunk_seed(5, (i,), grid) for i in range(1000)]
    b = [ex.chunk_seed(6, (i,), grid) for i in range(1000)]
    assert len(set(a) & set(b)) == 0
    # Distinct grids of one base share no block seed but the first when the
    # flat index is the same: seeds follow the flat C-order index.
    assert ex.chunk_seed(5, (0, 0), (2, 3)) == ex.chunk_seed(5, (0,), (6,))
    assert ex.chunk_seed(5, (1, 0), (2, 3)) == ex.chunk_seed(5, (3,), (6,))


def test_chunk_seed_rejects_what_it_cannot_honour(ex):
    with pytest.raises(ValueError):
        ex.chunk_seed(2**31, (0,), (1,))
    with pytest.raises(ValueError):
        ex.chunk_seed(-2**31 - 1, (0,), (1,))
    with pytest.raises(ValueError):
        ex.chunk_seed(1, (3,), (3,))
    with pytest.raises(ValueError):
        ex.chunk_seed(1, (0, 0), (2**16 + 1, 2**16))
    assert ex.chunk_seed(-2**31, (0,), (1,)) != ex.chunk_seed(2**31 - 1, (0,), (1,))


def test_seed_table_in_the_documentation(ex):
    text = (ROOT / "docs" / "reproducibility.md").read_text()
    rows = re.findall(r"^\|\s*(-?\d+)\s*\|\s*\((\d+),\s*(\d+)\)\s*\|\s*\((\d+),\s*(\d+)\)\s*\|\s*(-?\d+)\s*\|",
                      text, re.M)
    assert len(rows) >= 6, "the table of block seeds is missing"
    for base, i, j, n, m, seed in rows:
        assert ex.chunk_seed(int(base), (int(i), int(j)), (int(n), int(m))) == int(seed)
