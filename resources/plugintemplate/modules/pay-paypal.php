<?php
/**
 * PayPal's classic buy button: the listener for its payment messages (IPN). Each message is
 * posted back to PayPal, which must answer VERIFIED, and then given access only when it is a
 * completed payment to the funnel's PayPal account of the funnel's item, amount and currency
 * whose transaction has not given access before. A refund or reversal revokes the buyer.
 *
 * @package #prefix#
 */

if ( ! defined( 'ABSPATH' ) ) {
	exit;
}

/**
 * Where PayPal confirms its messages, live or in the sandbox.
 *
 * @param bool $sandbox Whether the funnel is set to PayPal's sandbox.
 * @return string
 */
function #prefix#_paypal_verify_address( $sandbox ) {
	return $sandbox ? 'https://ipnpb.sandbox.paypal.com/cgi-bin/webscr' : 'https://ipnpb.paypal.com/cgi-bin/webscr';
}

/**
 * Registers the PayPal listener, one address per funnel, which goes into the button as its
 * notify_url.
 */
function #prefix#_register_paypal_route() {
	register_rest_route(
		#prefix#_rest_namespace(),
		#prefix#_listener_route( 'paypal' ),
		array(
			'methods'             => 'POST',
			'callback'            => '#prefix#_paypal_listener',
			// PayPal calls without a login: its own answer to the message posted back to it is
			// the credential, checked in the listener before anything is done.
			'permission_callback' => '__return_true',
		)
	);
}
add_action( 'rest_api_init', '#prefix#_register_paypal_route' );

/**
 * Posts a message back to PayPal exactly as it came, after "cmd=_notify-validate", and
 * returns PayPal's answer. The address passes through the "#prefix#_paypal_verify_url"
 * filter (arguments: the address, the funnel), which the tests point at a local stub.
 *
 * @param string $raw       The message's body, byte for byte.
 * @param bool   $sandbox   Whether to ask PayPal's sandbox.
 * @param int    $funnel_id The funnel.
 * @return string|WP_Error "VERIFIED", "INVALID" (or whatever else PayPal said), or an error
 *                         when PayPal could not be asked.
 */
function #prefix#_paypal_confirm( $raw, $sandbox, $funnel_id ) {
	$address  = apply_filters( '#prefix#_paypal_verify_url', #prefix#_paypal_verify_address( $sandbox ), $funnel_id );
	$response = wp_remote_post(
		$address,
		array(
			'body'        => 'cmd=_notify-validate&' . $raw,
			'timeout'     => 30,
			'httpversion' => '1.1',
			'headers'     => array(
				'Content-Type' => 'application/x-www-form-urlencoded',
				'Connection'   => 'close',
			),
		)
	);
	if ( is_wp_error( $response ) ) {
		return $response;
	}
	$code = (int) wp_remote_retrieve_response_code( $response );
	if ( 200 !== $code ) {
		/* translators: %d: the HTTP status PayPal answered with. */
		return new WP_Error( 'paypal', sprintf( __( 'PayPal answered with HTTP status %d.', '#prefix#' ), $code ) );
	}
	return trim( wp_remote_retrieve_body( $response ) );
}

/**
 * What a payment message that PayPal has confirmed means for a funnel with these settings.
 * Only a completed payment passes, and only when all hold: the receiving account is the
 * funnel's, the currency and the amount are the funnel's, the item number is the funnel's,
 * and the message has a transaction id. Refunded and Reversed revoke the buyer of the
 * original transaction; any other status (Pending, Denied...) is passed over, as PayPal sends
 * another message when it changes. Whether the transaction gave access before is for the
 * caller to check.
 *
 * @param array $ipn      The message's fields.
 * @param array $settings The funnel's settings (#prefix#_funnel_settings()).
 * @return array verdict (grant, revoke, ignore or refuse), reason (a short code), detail
 *               (what happened, for the owner), and for grant and revoke payment_id, plus
 *               email and claim for grant.
 */
function #prefix#_paypal_verdict( $ipn, $settings ) {
	$field  = function ( $name ) use ( $ipn ) {
		return isset( $ipn[ $name ] ) && is_string( $ipn[ $name ] ) ? trim( $ipn[ $name ] ) : '';
	};
	$refuse = function ( $reason, $detail ) {
		return array(
			'verdict' => 'refuse',
			'reason'  => $reason,
			'detail'  => $detail,
		);
	};
	$status = $field( 'payment_status' );
	if ( 'Refunded' === $status || 'Reversed' === $status ) {
		if ( '' === $field( 'parent_txn_id' ) ) {
			return $refuse( 'txn', __( 'A PayPal refund without the id of the payment it refunds.', '#prefix#' ) );
		}
		return array(
			'verdict'    => 'revoke',
			'reason'     => strtolower( $status ),
			/* translators: 1: Refunded or Reversed, 2: the PayPal transaction id. */
			'detail'     => sprintf( __( 'PayPal payment %2$s was %1$s.', '#prefix#' ), strtolower( $status ), $field( 'parent_txn_id' ) ),
			'payment_id' => $field( 'parent_txn_id' ),
		);
	}
	if ( 'Completed' !== $status ) {
		return array(
			'verdict' => 'ignore',
			'reason'  => 'status',
			/* translators: %s: the payment's status at PayPal, such as Pending. */
			'detail'  => sprintf( __( 'A PayPal payment with the status "%s" gives no access; PayPal writes again once it is completed.', '#prefix#' ), $status ),
		);
	}
	$account = strtolower( (string) $settings['paypal_email'] );
	if ( '' === $account ) {
		return $refuse( 'unset', __( 'A PayPal payment came in, but the funnel has no PayPal account set.', '#prefix#' ) );
	}
	$receivers = array_map( 'strtolower', array( $field( 'receiver_email' ), $field( 'business' ), $field( 'receiver_id' ) ) );
	if ( ! in_array( $account, $receivers, true ) ) {
		/* translators: 1: the account paid, 2: the funnel's PayPal account. */
		return $refuse( 'receiver', sprintf( __( 'A PayPal payment went to %1$s, not to the funnel\'s account %2$s.', '#prefix#' ), $field( 'receiver_email' ), $settings['paypal_email'] ) );
	}
	if ( '' === (string) $settings['price'] ) {
		return $refuse( 'unpriced', __( 'A PayPal payment came in, but the funnel has no price set.', '#prefix#' ) );
	}
	if ( strtoupper( $field( 'mc_currency' ) ) !== $settings['currency'] ) {
		/* translators: 1: the currency paid in, 2: the funnel's currency. */
		return $refuse( 'currency', sprintf( __( 'A PayPal payment was made in %1$s, not in the funnel\'s currency %2$s.', '#prefix#' ), $field( 'mc_currency' ), $settings['currency'] ) );
	}
	$paid = #prefix#_amount_value( $field( 'mc_gross' ) );
	if ( null === $paid || #prefix#_amount_value( $settings['price'] ) !== $paid ) {
		/* translators: 1: the amount paid, 2: the funnel's price, 3: the currency. */
		return $refuse( 'amount', sprintf( __( 'A PayPal payment of %1$s %3$s does not match the funnel\'s price of %2$s %3$s.', '#prefix#' ), $field( 'mc_gross' ), $settings['price'], $settings['currency'] ) );
	}
	if ( $field( 'item_number' ) !== (string) $settings['item'] ) {
		/* translators: 1: the item number paid for, 2: the funnel's item number. */
		return $refuse( 'item', sprintf( __( 'A PayPal payment for item "%1$s" is not for the funnel\'s item "%2$s".', '#prefix#' ), $field( 'item_number' ), $settings['item'] ) );
	}
	if ( '' === $field( 'txn_id' ) ) {
		return $refuse( 'txn', __( 'A PayPal payment without a transaction id.', '#prefix#' ) );
	}
	return array(
		'verdict'    => 'grant',
		'reason'     => 'paid',
		/* translators: 1: the PayPal transaction id, 2: the buyer's e-mail address. */
		'detail'     => sprintf( __( 'PayPal payment %1$s by %2$s.', '#prefix#' ), $field( 'txn_id' ), $field( 'payer_email' ) ),
		'payment_id' => $field( 'txn_id' ),
		'email'      => $field( 'payer_email' ),
		'claim'      => $field( 'custom' ),
	);
}

/**
 * Handles one PayPal payment message for the funnel its address names. PayPal sends a message
 * again until it gets status 200, so every message that was understood gets 200, whatever
 * became of it; 503 asks for it again when PayPal could not be reached to confirm it.
 *
 * @param WP_REST_Request $request The message.
 * @return WP_REST_Response
 */
function #prefix#_paypal_listener( $request ) {
	$funnel_id = (int) $request['funnel'];
	if ( ! #prefix#_payment_funnel( $funnel_id ) ) {
		return new WP_REST_Response( array( 'outcome' => 'refused' ), 404 );
	}
	$raw = $request->get_body();
	$ipn = $request->get_body_params();
	if ( '' === $raw || ! is_array( $ipn ) || ! $ipn ) {
		return #prefix#_listener_answer( $funnel_id, 'paypal', 'refused', __( 'An empty message came to the PayPal address.', '#prefix#' ), 400 );
	}
	$settings = #prefix#_funnel_settings( $funnel_id );
	$answer   = #prefix#_paypal_confirm( $raw, $settings['sandbox'], $funnel_id );
	if ( is_wp_error( $answer ) ) {
		/* translators: %s: why PayPal could not be asked. */
		return #prefix#_listener_answer( $funnel_id, 'paypal', 'failed', sprintf( __( 'A PayPal message could not be confirmed with PayPal (%s); PayPal sends it again later.', '#prefix#' ), $answer->get_error_message() ), 503 );
	}
	if ( 'VERIFIED' !== $answer ) {
		$detail = __( 'PayPal did not confirm a message sent to the funnel\'s PayPal address: it did not come from PayPal.', '#prefix#' );
		if ( ! empty( $ipn['test_ipn'] ) && ! $settings['sandbox'] ) {
			$detail = __( 'PayPal did not confirm a message from its sandbox: the funnel is set to live PayPal. Turn on the sandbox setting to test with sandbox accounts.', '#prefix#' );
		}
		return #prefix#_listener_answer( $funnel_id, 'paypal', 'refused', $detail, 400 );
	}
	$verdict = #prefix#_paypal_verdict( $ipn, $settings );
	if ( 'revoke' === $verdict['verdict'] ) {
		$buyer = #prefix#_revoke_payment( 'paypal', $verdict['payment_id'] );
		return #prefix#_listener_answer( $funnel_id, 'paypal', $buyer ? 'revoked' : 'ignored', $verdict['detail'] );
	}
	if ( 'grant' !== $verdict['verdict'] ) {
		return #prefix#_listener_answer( $funnel_id, 'paypal', 'ignore' === $verdict['verdict'] ? 'ignored' : 'refused', $verdict['detail'] );
	}
	$granted = #prefix#_grant_access( $funnel_id, $verdict['email'], 'paypal', $verdict['payment_id'], $verdict['claim'] );
	if ( is_wp_error( $granted ) && 'duplicate' === $granted->get_error_code() ) {
		/* translators: %s: the PayPal transaction id. */
		return #prefix#_listener_answer( $funnel_id, 'paypal', 'ignored', sprintf( __( 'PayPal payment %s has given access already.', '#prefix#' ), $verdict['payment_id'] ) );
	}
	if ( is_wp_error( $granted ) ) {
		return #prefix#_listener_answer( $funnel_id, 'paypal', 'failed', $granted->get_error_message(), 500 );
	}
	return #prefix#_listener_answer( $funnel_id, 'paypal', 'granted', $verdict['detail'] );
}
