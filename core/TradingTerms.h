#pragma once

// The trading words of the terminal as types. Their wire text is written where requests are built (the endpoint
// catalogue, api/Endpoints) and their labels and colours in the views; logic compares the values, never text.
// A plain header without dependencies, below the API client, so the catalogue can build requests from these values.
namespace zqt {

enum class Side { Buy, Sell };

enum class OrderType { Market, Limit, Stop };

// The book's verdict from its imbalance: more bids, more asks, or neither clearly.
enum class BookPressure { Bid, Ask, Neutral };

} // namespace zqt
