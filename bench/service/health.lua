-- wrk script: GET /api/v1/health (the same server answering without a look-up).
function request()
  return wrk.format("GET", "/api/v1/health")
end

function done(summary, latency, requests)
  io.write(string.format("RESULT requests=%d errors=%d rps=%.0f p50=%.3f p90=%.3f p99=%.3f\n",
    summary.requests, summary.errors.status + summary.errors.connect + summary.errors.read +
    summary.errors.write + summary.errors.timeout,
    summary.requests / (summary.duration / 1e6),
    latency:percentile(50) / 1000, latency:percentile(90) / 1000, latency:percentile(99) / 1000))
end
