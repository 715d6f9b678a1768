"""distmill beyond one process: chunked Dask arrays, evaluated block by block.

    python3 examples/dask_blockwise.py        # needs dask: pip install 'dask[array]'

Two things are shown, each checked bit for bit:

1. The d, p and q functions are element-wise and pure: each result element
   depends only on the argument elements at the same (broadcast) position.
   Evaluating one over a chunked array block by block therefore gives
   exactly the array that one call over the whole data gives, whatever the
   chunking and the scheduler.  `elementwise` wraps a function for that.

2. Random draws come from an Engine, whose state is advanced by every draw,
   so blocks cannot share one.  `random_array` gives every block its own
   Engine, seeded from a base seed and the block's position in the block
   grid (`chunk_seed`, described below and in docs/reproducibility.md).  A
   block's values then depend on nothing but the base seed, the array shape,
   the chunking and the block's position: not on the scheduler, the number
   of workers or the order in which blocks run.

The module holds the interpreter lock for the whole of every call, so the
threaded scheduler runs blocks one at a time (correct, but no faster than
one thread); the processes scheduler, or a distributed cluster, runs them in
parallel.
"""
import functools
import math

import numpy as np

import dask
import dask.array as da

import distmill as dm

_M32 = 0xFFFFFFFF


# --------------------------------------------------------------- d, p and q

def _with_keywords(fn, names, *blocks):
    """fn called on one block: the last len(names) blocks are keywords."""
    k = len(blocks) - len(names)
    return fn(*blocks[:k], **dict(zip(names, blocks[k:])))


def elementwise(fn, *args, **kwargs):
    """`fn(*args, **kwargs)` for a distmill d, p or q function, evaluated
    blockwise over dask arrays.

    Every argument, positional or keyword (`log=`, `log_p=` are element-wise
    too), may be a dask array, a numpy array, a list or a scalar.  They
    broadcast like numpy (trailing dimensions aligned, extents of 1
    stretched) and `da.blockwise` aligns their blocks, rechunking where the
    chunkings differ.  At least one argument must have a dimension.
    """
    names = tuple(kwargs)
    arrays = [da.asarray(a) for a in (*args, *kwargs.values())]
    ndim = max(a.ndim for a in arrays)
    if ndim == 0:
        raise ValueError("elementwise needs at least one array argument")
    pairs = []
    for a in arrays:
        pairs += [a, tuple(range(ndim - a.ndim, ndim))]  # trailing-aligned
    return da.blockwise(functools.partial(_with_keywords, fn, names), tuple(range(ndim)), *pairs,
                        dtype=np.float64, meta=np.empty((0,) * ndim, dtype=np.float64))


# ------------------------------------------------------------ random draws

def _mix32(h):
    """A bijection of the 32-bit integers that scatters nearby inputs:
    xor-shifts and multiplications by odd constants, all modulo 2**32."""
    h &= _M32
    h ^= h >> 16
    h = (h * 0x85EBCA6B) & _M32
    h ^= h >> 13
    h = (h * 0xC2B2AE35) & _M32
    h ^= h >> 16
    return h


def chunk_seed(base_seed, block_index, numblocks):
    """The Engine seed of one block.

    base_seed   a signed 32-bit integer, the seed of the whole array;
    block_index the block's position in the block grid, e.g. (i, j);
    numblocks   the grid's extent in each dimension, e.g. (4, 3).

    With n the block's flat index in C order (the last index varying
    fastest) and mix the 32-bit bijection `_mix32`:

        k = mix(base_seed mod 2**32)
        s = mix((k + n) mod 2**32)
        seed = s, read as a signed 32-bit integer (s - 2**32 if s >= 2**31)

    For one base seed, distinct blocks get distinct seeds (n -> k + n and mix
    are both one-to-one), for grids of up to 2**32 blocks.  Mixing the base
    first keeps base seeds b and b + 1 from sharing shifted runs of block
    seeds; mixing again gives neighbouring blocks unrelated seeds.
    """
    if not -2**31 <= base_seed < 2**31:
        raise ValueError(f"base_seed must be a signed 32-bit integer, got {base_seed}")
    if len(block_index) != len(numblocks) or not all(0 <= i < n for i, n in zip(block_index, numblocks)):
        raise ValueError(f"block {tuple(block_index)} is not in a grid of {tuple(numblocks)} blocks")
    if math.prod(numblocks) > 2**32:
        raise ValueError("more than 2**32 blocks: block seeds would no longer be distinct")
    flat = 0
    for i, n in zip(block_index, numblocks):
        flat = flat * n + i
    s = _mix32((_mix32(base_seed) + flat) & _M32)
    return s - 2**32 if s >= 2**31 else s


def _draw_block(sampler, params, base_seed, block_info=None):
    info = block_info[None]
    seed = chunk_seed(base_seed, info["chunk-location"], info["num-chunks"])
    return sampler(*params, list(info["chunk-shape"]), dm.Engine(seed))


def random_array(sampler, *params, shape, chunks, seed):
    """A dask array of draws from `sampler` (rnorm, rgamma, ...) with the
    distribution parameters `params`, of the given shape and chunking.

    Block b is `sampler(*params, <shape of b>, Engine(chunk_seed(seed, b,
    numblocks)))`: a fresh engine per block, the block filled in C order.
    The result is a function of (sampler, params, shape, chunks, seed) only;
    a different chunking of the same shape gives different draws.
    """
    chunks = da.core.normalize_chunks(chunks, shape, dtype=np.float64)
    ndim = len(chunks)
    return da.map_blocks(_draw_block, sampler, tuple(params), seed, chunks=chunks, dtype=np.float64,
                         meta=np.empty((0,) * ndim, dtype=np.float64))


# -------------------------------------------------------------- demonstration

def same_bits(a, b):
    """Equal to the last bit, NaN included (float64 arrays as integers)."""
    a, b = np.asarray(a, dtype=np.float64), np.asarray(b, dtype=np.float64)
    return a.shape == b.shape and np.array_equal(a.view(np.uint64), b.view(np.uint64))


def main():
    rng = np.random.default_rng(7)
    x = rng.gamma(2.0, 1.5, size=(1000, 300))
    shape = rng.uniform(0.5, 5.0, size=300)  # one shape per column
    chunked = da.from_array(x, chunks=(250, 120))

    whole = dm.pgamma(x, shape, 1.5, log_p=True)
    blocks = elementwise(dm.pgamma, chunked, shape, 1.5, log_p=True)
    print(f"pgamma over {x.shape} in {blocks.numblocks} blocks, bit for bit the single call:",
          same_bits(blocks.compute(), whole))
    print("dt the same:", same_bits(elementwise(dm.dt, chunked, 4.0).compute(), dm.dt(x, 4.0)))
    # Quantiles cost tens of microseconds an element: a smaller grid.
    p = rng.uniform(size=(120, 50))
    p_chunked = da.from_array(p, chunks=(50, 20))
    print("qnorm and qbeta the same:",
          same_bits(elementwise(dm.qnorm, p_chunked, 1.0, 2.0).compute(), dm.qnorm(p, 1.0, 2.0)),
          same_bits(elementwise(dm.qbeta, p_chunked, 2.0, shape[:50]).compute(), dm.qbeta(p, 2.0, shape[:50])))

    draws = random_array(dm.rgamma, 2.0, 1.0, shape=(1000, 600), chunks=(250, 200), seed=2024)
    reference = draws.compute(scheduler="synchronous")
    print(f"rgamma, {draws.numblocks} blocks with one engine each; the same for every scheduler:")
    for scheduler, workers in [("threads", 1), ("threads", 4), ("processes", 2)]:
        got = draws.compute(scheduler=scheduler, num_workers=workers)
        print(f"  {scheduler:9} x{workers}:", same_bits(got, reference))
    first = dm.rgamma(2.0, 1.0, [250, 200], dm.Engine(chunk_seed(2024, (0, 0), (4, 3))))
    print("  block (0, 0) without dask:", same_bits(first, reference[:250, :200]))
    print("  sample mean", reference.mean(), "(expected 2.0)")


if __name__ == "__main__":
    main()
